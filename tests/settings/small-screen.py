#!/usr/bin/python3
"""Works Tarnwick's settings as a screen reader does, through the accessibility bus.

Usage:
  small-screen.py toggle NAME      performs the "Toggle" action of the first object named NAME; exits 1
                                   when there is none or it has no such action
  small-screen.py focused          prints x y width height (on the screen) of the focused object
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tarnwick_atspi import action_named, extents, focused, nodes  # noqa: E402


def main():
    what = sys.argv[1]
    if what == "toggle":
        for node, _ in nodes():
            try:
                if node.name == sys.argv[2] and action_named(node, "toggle"):
                    return 0
            except Exception:
                continue
        return 1
    if what == "focused":
        found = focused()
        if not found:
            return 1
        print(extents(found[-1]))
        return 0
    return 2


sys.exit(main())
