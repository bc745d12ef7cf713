#!/usr/bin/python3
"""What a screen reader learns from the application "tarnwick" over the accessibility bus.

Usage: shelf-keys.py listen SECONDS FILE   writes "ready", then one line per focus, selection or
                                           active-descendant event: "event|role|source name|descendant name"
       shelf-keys.py focused               prints "role|name" of every object whose state is focused
       shelf-keys.py text NAME             prints the text of the object named NAME
       shelf-keys.py press NAME            presses the object named NAME; fails when there is none
       shelf-keys.py named NAME            fails when no object is named NAME
       shelf-keys.py selected              prints the name of every selected list item
       shelf-keys.py where NAME [WITHIN]   prints "x y width height" on the screen of the object named NAME
                                           (under an object whose name holds WITHIN)
       shelf-keys.py showing NAME          prints "role|name" of everything below the object named NAME
                                           that reports being on screen; fails when no object is named NAME"""
import os
import sys

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tarnwick_atspi import action_named, extents, focused, name_of, named, nodes, showing_below  # noqa: E402


def listen(seconds, path):
    from gi.repository import GLib

    out = open(path, "a", buffering=1)

    def heard(event):
        try:
            if not name_of(event.host_application).lower().startswith("tarnwick"):
                return
        except Exception:
            return
        descendant = event.any_data if isinstance(event.any_data, pyatspi.Accessible) else None
        try:
            role = event.source.getRoleName()
        except Exception:
            role = ""
        out.write("%s|%s|%s|%s\n" % (event.type, role, name_of(event.source), name_of(descendant)))

    kinds = ["focus:", "object:state-changed:focused", "object:state-changed:selected",
             "object:selection-changed", "object:active-descendant-changed"]
    pyatspi.Registry.registerEventListener(heard, *kinds)
    out.write("ready\n")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    pyatspi.Registry.start()
    return 0


def print_focused():
    for node in focused():
        try:
            print("%s|%s" % (node.getRoleName(), node.name))
        except Exception:
            continue
    return 0


def print_text(name):
    node = named(name)
    if node is None:
        return 1
    print(node.queryText().getText(0, -1))
    return 0


def print_selected():
    for node, _ in nodes():
        try:
            if node.getRoleName() == "list item" and node.getState().contains(pyatspi.STATE_SELECTED):
                print(node.name)
        except Exception:
            continue
    return 0


def press(name):
    node = named(name)
    return 0 if node is not None and action_named(node, "press") else 1


if sys.argv[1] == "listen":
    sys.exit(listen(float(sys.argv[2]), sys.argv[3]))
if sys.argv[1] == "text":
    sys.exit(print_text(sys.argv[2]))
if sys.argv[1] == "press":
    sys.exit(press(sys.argv[2]))
if sys.argv[1] == "selected":
    sys.exit(print_selected())
if sys.argv[1] == "showing":
    found = showing_below(sys.argv[2])
    print("\n".join(found or []))
    sys.exit(0 if found is not None else 1)
if sys.argv[1] == "where":
    node = named(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
    if node is None:
        sys.exit(1)
    print(extents(node))
    sys.exit(0)
if sys.argv[1] == "named":
    sys.exit(0 if named(sys.argv[2]) is not None else 1)
sys.exit(print_focused())
