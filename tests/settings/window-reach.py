#!/usr/bin/python3
"""Reaches Tarnwick's controls through the accessibility bus, as a screen reader does.

Usage:
  window-reach.py press NAME [WITHIN]   performs the first action of the first object named NAME (under
                                        an object whose name contains WITHIN); exits 1 when none
  window-reach.py focused               prints the role and name of the focused object
  window-reach.py children NAME         prints the names of the children of the first object named NAME
  window-reach.py extents NAME          prints x y width height (on the screen) of the first object named NAME
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
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def applications():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name.lower().startswith("tarnwick"):
            yield app


def nodes():
    for app in applications():
        yield from walk(app)


def named(name, within=None):
    for node, _ in nodes():
        try:
            if node.name != name:
                continue
            if within is not None:
                parent, found = node.parent, False
                while parent is not None and not found:
                    found = within in (parent.name or "")
                    parent = parent.parent
                if not found:
                    continue
            return node
        except Exception:
            continue
    return None


def main():
    what = sys.argv[1]
    if what == "press":
        node = named(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
        if node is None:
            return 1
        action = node.queryAction()
        return 0 if action.nActions > 0 and action.doAction(0) else 1
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
        print(f"{best[0].getRoleName()}:{best[0].name}")
        return 0
    if what == "children":
        node = named(sys.argv[2])
        if node is None:
            return 1
        for i in range(node.childCount):
            print(node.getChildAtIndex(i).name)
        return 0
    if what == "dump":
        for node, depth in nodes():
            try:
                print("  " * depth + f"{node.getRoleName()}:{node.name}")
            except Exception:
                continue
        return 0
    if what == "extents":
        node = named(sys.argv[2])
        if node is None:
            return 1
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x, box.y, box.width, box.height)
        return 0
    return 2


sys.exit(main())
