#!/usr/bin/python3
"""Lists or performs the named actions of the note view through the accessibility bus.

Usage: note-access.py list | note-access.py do ACTION | note-access.py focused | note-access.py footer |
       note-access.py press NAME | note-access.py picture | note-access.py insert TEXT | note-access.py shown |
       note-access.py insert-into NAME TEXT
Prints the action names (one a line) of the first object offering "Close note" in the application
"tarnwick"; exits 1 when there is none. "focused" prints the role and name of the focused object.
"footer" prints "badge=" with the role and child count of each sync badge on screen, and "numbers=" with
how many objects are named by a bare number. "press" presses the button NAME that is on screen. "picture"
prints the frame on screen of the picture that shows, as "x y width height". "insert" puts TEXT in at the end
of the focused text through its editable-text interface ("insert-into" at the start of the text NAME on
screen); "shown" prints the focused text as it reads."""
import os
import sys

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tarnwick_atspi import action_named, focused, nodes  # noqa: E402

BADGE = "cloud sync \u00b7 coming soon"


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def note_view():
    for node, _ in nodes():
        try:
            action = node.queryAction()
        except NotImplementedError:
            continue
        names = [action.getName(i) for i in range(action.nActions)]
        if "Close note" in names:
            return action, names
    return None, []


def main():
    what = sys.argv[1]
    if what == "focused":
        # A text view's viewport reads as focused beside it (its focus goes to the view): the deepest
        # object that can take the focus is the one a screen reader announces.
        found = [node for node in focused() if node.getState().contains(pyatspi.STATE_FOCUSABLE)]
        if not found:
            return 1
        print(f"{found[-1].getRoleName()}:{found[-1].name}")
        return 0
    if what == "insert":
        # As a dictation tool puts text in: through the focused text's editable-text interface, at its end.
        found = [node for node in focused() if node.getState().contains(pyatspi.STATE_FOCUSABLE)]
        if not found:
            return 1
        text = sys.argv[2]
        end = found[-1].queryText().characterCount
        return 0 if found[-1].queryEditableText().insertText(end, text, len(text)) else 1
    if what == "insert-into":
        # The same into the text named NAME on screen, at its start.
        for node, _ in nodes():
            if node.name == sys.argv[2] and showing(node):
                text = sys.argv[3]
                return 0 if node.queryEditableText().insertText(0, text, len(text)) else 1
        return 1
    if what == "shown":
        # The focused text as assistive tools read it.
        found = [node for node in focused() if node.getState().contains(pyatspi.STATE_FOCUSABLE)]
        if not found:
            return 1
        print(found[-1].queryText().getText(0, -1))
        return 0
    if what == "footer":
        badges, numbers = [], 0
        for node, _ in nodes():
            name = node.name or ""
            if name == BADGE and showing(node):
                badges.append(f"{node.getRoleName()}:{node.childCount}")
            numbers += name.strip().isdigit()
        print(f"badge={','.join(badges)} numbers={numbers}")
        return 0
    if what == "picture":
        # Where the picture reads on the screen: "x y width height" of the image object showing.
        for node, _ in nodes():
            if node.getRoleName() == "image" and node.name == "Image" and showing(node):
                box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                print(box.x, box.y, box.width, box.height)
                return 0
        return 1
    if what == "press":
        for node, _ in nodes():
            if node.name == sys.argv[2] and showing(node):
                return 0 if action_named(node, "Press") else 1
        return 1
    action, names = note_view()
    if action is None:
        return 1
    if what == "list":
        print("\n".join(names))
        return 0
    if what == "do":
        if sys.argv[2] not in names:
            return 1
        return 0 if action.doAction(names.index(sys.argv[2])) else 1
    return 2


sys.exit(main())
