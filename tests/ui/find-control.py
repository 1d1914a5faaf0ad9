#!/usr/bin/python3
"""Prints the screen centre "x y" of the first visible accessible whose name is NAME, searched
in every application on the private accessibility bus, the one started last first (a window
just opened over another may name its buttons as that one does); exits 1 when there is none
yet. With "press", activates it through its accessible action instead, as assistive
technology does, whatever window lies above it. With "text", NAME is the text the accessible
shows (a web page's text that has no name of its own).
Usage: find-control.py NAME [press|text]"""
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def shown(node, by_text):
    if not by_text:
        return node.get_name()
    return Atspi.Text.get_text(node, 0, -1) if "Text" in node.get_interfaces() else None


def find(node, name, depth=0, by_text=False):
    if node is None or depth > 60:
        return None
    try:
        if shown(node, by_text) == name:
            extents = node.get_extents(Atspi.CoordType.SCREEN)
            if extents.width > 0 and extents.height > 0:
                return node
        for i in range(node.get_child_count()):
            found = find(node.get_child_at_index(i), name, depth + 1, by_text)
            if found:
                return found
    except Exception:  # an element that goes away while it is read
        return None
    return None


def main():
    desktop = Atspi.get_desktop(0)
    for i in reversed(range(desktop.get_child_count())):
        node = find(desktop.get_child_at_index(i), sys.argv[1], by_text=sys.argv[2:] == ["text"])
        if node and sys.argv[2:] == ["press"]:
            return 0 if node.do_action(0) else 1
        if node:
            extents = node.get_extents(Atspi.CoordType.SCREEN)
            print(extents.x + extents.width // 2, extents.y + extents.height // 2)
            return 0
    return 1


sys.exit(main())
