#!/usr/bin/python3
"""Lists or performs the named actions of the note view through the accessibility bus.

Usage: note-access.py list | note-access.py do ACTION
Prints the action names (one a line) of the first object offering "Close note" in the application
"tarnwick"; exits 1 when there is none."""
import sys

import pyatspi


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name.lower().startswith("tarnwick"):
            yield app


def note_view():
    for app in application():
        for node in walk(app):
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
