#!/usr/bin/python3
"""How the tour's pictures read on the accessibility bus: for each NAME given, "NAME: ROLE CHILDREN" of
the first object of the running tarnwick whose name is NAME (or ends with it, for a name given as
"*NAME"), or "NAME: none" when there is no such object."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tarnwick_atspi import name_of, nodes  # noqa: E402


def find(wanted):
    for node, _ in nodes():
        name = name_of(node)
        if (wanted.startswith("*") and name.endswith(wanted[1:])) or name == wanted:
            return node
    return None


def main():
    for wanted in sys.argv[1:]:
        node = find(wanted)
        try:
            print(f"{wanted}: {node.getRoleName()} {node.childCount}" if node is not None else f"{wanted}: none")
        except Exception:
            print(f"{wanted}: none")
    return 0


if __name__ == "__main__":
    sys.exit(main())
