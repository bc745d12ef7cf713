#!/usr/bin/python3
"""Works Tarnwick's settings as a screen reader does, through the accessibility bus.

Usage:
  small-screen.py toggle NAME      performs the "Toggle" action of the first object named NAME; exits 1
                                   when there is none or it has no such action
  small-screen.py focused          prints x y width height (on the screen) of the focused object
"""
import sys

import pyatspi


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node, depth
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            yield from walk(node.getChildAtIndex(i), depth + 1)
        except Exception:
            continue


def nodes():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name.lower().startswith("tarnwick"):
            yield from walk(app)


def main():
    what = sys.argv[1]
    if what == "toggle":
        for node, _ in nodes():
            try:
                if node.name != sys.argv[2]:
                    continue
                action = node.queryAction()
                for i in range(action.nActions):
                    if action.getName(i).lower() == "toggle":
                        return 0 if action.doAction(i) else 1
            except Exception:
                continue
        return 1
    if what == "focused":
        best = None
        for node, depth in nodes():
            try:
                if node.getState().contains(pyatspi.STATE_FOCUSED) and (best is None or depth >= best[1]):
                    best = (node, depth)
            except Exception:
                continue
        if best is None:
            return 1
        box = best[0].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x, box.y, box.width, box.height)
        return 0
    return 2


sys.exit(main())
