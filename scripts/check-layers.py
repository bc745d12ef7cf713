#!/usr/bin/env python3
"""Checks that every include under src/ runs downhill.

Each folder of src/ sits on a floor; a file may include its own folder and folders on lower floors.
Folders on one floor may include each other as long as no circle forms, except where one is named
below another (the editor's pieces). docs/ARCHITECTURE.md explains the floors.

Usage: check-layers.py [SRC_DIR]   (default: the src/ beside this script's folder)
Prints one line per fault, naming file and line, and exits 1 when there is any.
"""
import os
import re
import sys

# Lowest first. A folder may include folders on its own floor or lower ones.
FLOORS = [
    ["platform"],
    ["design", "keys"],
    ["model"],
    ["store"],
    ["privacy", "editor", "editor/text", "editor/blocks", "windows", "capture"],
    ["note"],
    ["shelf"],
    # The endpoint searches with the shelf's engine; the settings window and the tour switch it on and off.
    ["mcp"],
    ["settings", "themes", "onboarding"],
    ["app"],
]

# Within a floor: the first of each pair lies below the second and must not include it.
BELOW = [
    ("editor", "editor/text"),
    ("editor", "editor/blocks"),
    ("editor/text", "editor/blocks"),
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')

FLOOR_OF = {folder: level for level, folders in enumerate(FLOORS) for folder in folders}


def folder_of(path):
    """The floor folder a path under src/ belongs to: the longest known prefix, e.g. model/text is model."""
    parts = path.split("/")[:-1]
    for n in range(len(parts), 0, -1):
        candidate = "/".join(parts[:n])
        if candidate in FLOOR_OF:
            return candidate
    return None


def scan(src):
    """Yields (file, line number, including folder, included path) for every `#include "a/b"` under src."""
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            full = os.path.join(root, name)
            rel = os.path.relpath(full, src).replace(os.sep, "/")
            with open(full, encoding="utf-8", errors="replace") as f:
                for number, text in enumerate(f, 1):
                    match = INCLUDE.match(text)
                    if match and "/" in match.group(1):
                        yield rel, number, match.group(1)


def circles(edges):
    """Strongly connected groups of more than one folder (Tarjan), each sorted."""
    graph = {}
    for a, b in edges:
        graph.setdefault(a, set()).add(b)
        graph.setdefault(b, set())
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                found.append(sorted(group))

    for v in sorted(graph):
        if v not in index:
            visit(v)
    return found


def check(src):
    faults = []
    edges = {}  # (from folder, to folder) -> first (file, line)
    below = set(BELOW)
    for rel, number, target in scan(src):
        here = folder_of(rel)
        there = folder_of(target)
        where = f"src/{rel}:{number}"
        if here is None:
            faults.append(f"{where}: folder src/{os.path.dirname(rel)} has no floor; add it to the floors")
            continue
        if there is None:
            faults.append(f'{where}: "{target}" is in no known folder')
            continue
        if here == there:
            continue
        if FLOOR_OF[there] > FLOOR_OF[here]:
            faults.append(f'{where}: {here} includes "{target}" from a higher floor ({there})')
        elif (here, there) in below:
            faults.append(f'{where}: {here} includes "{target}" from {there}, which lies above it')
        else:
            edges.setdefault((here, there), where)
    for group in circles(edges):
        members = set(group)
        links = [f"{a} -> {b} ({where})" for (a, b), where in sorted(edges.items()) if a in members and b in members]
        faults.append("circle between " + ", ".join(group) + ": " + "; ".join(links))
    return faults


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src")
    if not os.path.isdir(src):
        print(f"check-layers: no folder {src}", file=sys.stderr)
        return 2
    faults = check(src)
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-layers: {len(faults)} include(s) break the floors (see docs/ARCHITECTURE.md)")
        return 1
    print("check-layers: every include runs downhill")
    return 0


if __name__ == "__main__":
    sys.exit(main())
