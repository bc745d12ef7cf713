"""The accessible tree of the running "tarnwick", as a screen reader walks it (shared by the scripts
that drive the application over the accessibility bus)."""
import os

import pyatspi


def walk(node, depth=0):
    """Yields (node, depth) for `node` and everything below it; objects that vanish are skipped."""
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


def _waiting_on_us():
    """The process ids of this script's parent and theirs: a test program that runs this script waits
    for it, so on the accessibility bus (where a desktop with accessibility on puts it too) it could not
    answer, and asking it would hang until the bus gives up."""
    ids, pid = set(), os.getppid()
    while pid > 1 and pid not in ids:
        ids.add(pid)
        try:
            with open(f"/proc/{pid}/stat") as stat:
                pid = int(stat.read().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            break
    return ids


def applications():
    desktop = pyatspi.Registry.getDesktop(0)
    waiting = _waiting_on_us()
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            # Asked of the bus, not of the application.
            if app is None or app.get_process_id() in waiting:
                continue
        except Exception:
            continue
        if name_of(app).lower().startswith("tarnwick"):
            yield app


def nodes():
    for app in applications():
        yield from walk(app)


def name_of(node):
    try:
        return node.name if node is not None else ""
    except Exception:
        return ""


def named(name, within=None):
    """The first object named `name` (under an object whose name contains `within`), or None."""
    for node, _ in nodes():
        try:
            if node.name != name:
                continue
            parent = node.parent
            while within is not None and parent is not None and within not in (parent.name or ""):
                parent = parent.parent
            if within is None or parent is not None:
                return node
        except Exception:
            continue
    return None


def on_screen(node):
    """True when `node` reports being on screen (showing or visible)."""
    try:
        state = node.getState()
        return state.contains(pyatspi.STATE_SHOWING) or state.contains(pyatspi.STATE_VISIBLE)
    except Exception:
        return False


def showing_below(name, role=None):
    """ "role|name" of every object below the first one named `name` (of role `role`, when given) that
    reports being on screen; None when there is no such object."""
    for node, _ in nodes():
        try:
            if node.name != name or (role is not None and node.getRoleName() != role):
                continue
        except Exception:
            continue
        found = []
        for below, depth in walk(node):
            if depth > 0 and on_screen(below):
                found.append("%s|%s" % (below.getRoleName(), name_of(below)))
        return found
    return None


def focused():
    """Every object whose state is focused, deepest last."""
    found = []
    for node, depth in nodes():
        try:
            if node.getState().contains(pyatspi.STATE_FOCUSED):
                found.append((depth, node))
        except Exception:
            continue
    return [node for _, node in sorted(found, key=lambda pair: pair[0])]


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return f"{box.x} {box.y} {box.width} {box.height}"


def action_named(node, name):
    """Performs the action of `node` called `name` (any case); False when it has none."""
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() == name.lower():
            return bool(action.doAction(i))
    return False
