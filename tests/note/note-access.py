#!/usr/bin/python3
"""Lists or performs the named actions of the note view through the accessibility bus.

Usage: note-access.py list | note-access.py do ACTION | note-access.py focused
Prints the action names (one a line) of the first object offering "Close note" in the application
"tarnwick"; exits 1 when there is none. "focused" prints the role and name of the focused object."""
import os
import sys

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tarnwick_atspi import focused, nodes  # noqa: E402


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
