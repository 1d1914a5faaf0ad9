#!/usr/bin/python3
"""Prints the screen centre "x y" of the first visible accessible whose name is NAME, searched
in every application on the private accessibility bus, the one started last first (a window
just opened over another may name its buttons as that one does); exits 1 when there is none
yet. With "press", activates it through its accessible action instead, as assistive
technology does, whatever window lies above it.
Usage: find-control.py NAME [press]"""
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def find(node, name, depth=0):
    if node is None or depth > 60:
        return None
    try:
        if node.get_name() == name:
            extents = node.get_extents(Atspi.CoordType.SCREEN)
            if extents.width > 0 and extents.height > 0:
                return node
        for i in range(node.get_child_count()):
            found = find(node.get_child_at_index(i), name, depth + 1)
            if found:
                return found
    except Exception:  # an element that goes away while it is read
        return None
    return None


def main():
    desktop = Atspi.get_desktop(0)
    for i in reversed(range(desktop.get_child_count())):
        node = find(desktop.get_child_at_index(i), sys.argv[1])
        if node and sys.argv[2:] == ["press"]:
            return 0 if node.do_action(0) else 1
        if node:
            extents = node.get_extents(Atspi.CoordType.SCREEN)
            print(extents.x + extents.width // 2, extents.y + extents.height // 2)
            return 0
    return 1


sys.exit(main())
