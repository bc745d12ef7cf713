#!/usr/bin/python3
"""What a screen reader learns from the application "tarnwick" over the accessibility bus.

Usage: shelf-keys.py listen SECONDS FILE   writes "ready", then one line per focus, selection or
                                           active-descendant event: "event|role|source name|descendant name"
       shelf-keys.py focused               prints "role|name" of every object whose state is focused"""
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


def applications():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name.lower().startswith("tarnwick"):
            yield app


def name_of(node):
    try:
        return node.name if node is not None else ""
    except Exception:
        return ""


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


def focused():
    for app in applications():
        for node in walk(app):
            try:
                if node.getState().contains(pyatspi.STATE_FOCUSED):
                    print("%s|%s" % (node.getRoleName(), node.name))
            except Exception:
                continue
    return 0


if sys.argv[1] == "listen":
    sys.exit(listen(float(sys.argv[2]), sys.argv[3]))
sys.exit(focused())
