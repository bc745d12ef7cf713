#!/usr/bin/python3
"""Reaches Tarnwick's controls through the accessibility bus, as a screen reader does.

Usage:
  window-reach.py press NAME [WITHIN]   performs the first action of the first object named NAME (under
                                        an object whose name contains WITHIN); exits 1 when none
  window-reach.py focused               prints the role and name of the focused object
  window-reach.py children NAME         prints the names of the children of the first object named NAME
  window-reach.py extents NAME          prints x y width height (on the screen) of the first object named NAME
  window-reach.py showing NAME [ROLE]   prints "role|name" of everything below the first object named NAME
                                        (of role ROLE) that reports being on screen; exits 1 when there is no such object
  window-reach.py labels NAME           prints the names of the labels of the first object named NAME (its
                                        labelled-by relation)
  window-reach.py shown NAME            exits 0 when an object named NAME reports being on screen, else 1
  window-reach.py menus WINDOW          prints "name|choices on screen|choices" of each menu (combo box) of
                                        the window titled WINDOW, in the order of the tree; exits 1 without
                                        such a window
"""
import os
import sys

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tarnwick_atspi import extents, focused, name_of, named, nodes, on_screen, showing_below, walk  # noqa: E402


def main():
    what = sys.argv[1]
    if what == "press":
        node = named(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
        if node is None:
            return 1
        action = node.queryAction()
        return 0 if action.nActions > 0 and action.doAction(0) else 1
    if what == "focused":
        found = focused()
        if not found:
            return 1
        print(f"{found[-1].getRoleName()}:{found[-1].name}")
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
    if what == "showing":
        found = showing_below(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
        if found is None:
            return 1
        print("\n".join(found))
        return 0
    if what == "labels":
        node = named(sys.argv[2])
        if node is None:
            return 1
        for relation in node.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                for i in range(relation.getNTargets()):
                    print(relation.getTarget(i).name)
        return 0
    if what == "shown":
        return 0 if any(name_of(n) == sys.argv[2] and on_screen(n) for n, _ in nodes()) else 1
    if what == "menus":
        windows = [n for n, depth in nodes() if depth == 1 and name_of(n) == sys.argv[2]]
        if not windows:
            return 1
        for menu, _ in walk(windows[0]):
            if menu.getRoleName() != "combo box":
                continue
            choices = [c for c, depth in walk(menu) if depth > 0 and c.getRoleName() == "list item"]
            print(f"{name_of(menu)}|{sum(1 for c in choices if on_screen(c))}|{len(choices)}")
        return 0
    if what == "extents":
        node = named(sys.argv[2])
        if node is None:
            return 1
        print(extents(node))
        return 0
    return 2


sys.exit(main())
