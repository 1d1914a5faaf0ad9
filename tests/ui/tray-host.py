#!/usr/bin/python3
"""A tray host on the session bus, as a panel runs one.
  serve          owns org.kde.StatusNotifierWatcher and keeps the items that register
  up             exits 0 once a host owns that name
  menu           prints the newest item's icon file and its menu's visible labels
  click LABEL    clicks the menu entry with that label
  activate       the item's secondary activation
The others exit 1 while no item is registered."""
import os
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
WATCHER_XML = f"""<node><interface name="{WATCHER}">
<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
<method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
<signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface></node>"""


def serve():
    items = []

    def on_call(conn, sender, path, iface, method, params, invocation):
        if method == "RegisterStatusNotifierItem":
            service = params.unpack()[0]
            # An item names either its object path (on the caller's connection) or its bus name.
            items.append(sender + service if service.startswith("/")
                         else service + "/StatusNotifierItem")
            conn.emit_signal(None, path, iface, "StatusNotifierItemRegistered",
                             GLib.Variant("(s)", (items[-1],)))
        invocation.return_value(None)

    def on_get(conn, sender, path, iface, name):
        return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
                "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
                "ProtocolVersion": GLib.Variant("i", 0)}[name]

    def on_bus(conn, name):
        info = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0]
        conn.register_object("/StatusNotifierWatcher", info, on_call, on_get, None)

    Gio.bus_own_name(Gio.BusType.SESSION, WATCHER, Gio.BusNameOwnerFlags.NONE, on_bus, None,
                     lambda *_: sys.exit(2))
    GLib.MainLoop().run()


def get(bus, name, path, iface, key):
    reply = bus.call_sync(name, path, "org.freedesktop.DBus.Properties", "Get",
                          GLib.Variant("(ss)", (iface, key)), None, 0, 5000, None)
    return reply.unpack()[0]


def newest_item(bus):
    items = get(bus, WATCHER, "/StatusNotifierWatcher", WATCHER, "RegisteredStatusNotifierItems")
    if not items:
        sys.exit(1)
    name, _, path = items[-1].partition("/")
    return name, "/" + path


def entries(bus, name, menu):
    reply = bus.call_sync(name, menu, MENU, "GetLayout", GLib.Variant("(iias)", (0, -1, [])),
                          None, 0, 5000, None)
    layout = reply.unpack()[1]
    return [(child[0], child[1].get("label", "")) for child in layout[2]
            if child[1].get("visible", True)]


def send(bus, name, path, iface, method, body):
    # A panel does not wait for the program: the entry may open a modal question.
    message = Gio.DBusMessage.new_method_call(name, path, iface, method)
    message.set_body(body)
    message.set_flags(Gio.DBusMessageFlags.NO_REPLY_EXPECTED)
    bus.send_message(message, Gio.DBusSendMessageFlags.NONE)
    bus.flush_sync(None)


def main():
    if sys.argv[1] == "serve":
        serve()
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    if sys.argv[1] == "up":
        owned = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "NameHasOwner",
                              GLib.Variant("(s)", (WATCHER,)), None, 0, 5000, None)
        sys.exit(0 if owned.unpack()[0] else 1)
    name, path = newest_item(bus)
    menu = get(bus, name, path, ITEM, "Menu")
    if sys.argv[1] == "menu":
        # An icon is named by its file's path, or by a name in the item's icon folder.
        icon = os.path.join(get(bus, name, path, ITEM, "IconThemePath"),
                            get(bus, name, path, ITEM, "IconName"))
        icons = [icon + ext for ext in ("", ".svg", ".png") if os.path.isfile(icon + ext)]
        print("icon=" + (icons[0] if icons else "missing"),
              "status=" + get(bus, name, path, ITEM, "Status"),
              "menu=" + ",".join(label for _, label in entries(bus, name, menu)))
    elif sys.argv[1] == "click":
        ids = [i for i, label in entries(bus, name, menu) if label == sys.argv[2]]
        send(bus, name, menu, MENU, "Event",
             GLib.Variant("(isvu)", (ids[0], "clicked", GLib.Variant("i", 0), 0)))
    elif sys.argv[1] == "activate":
        send(bus, name, path, ITEM, "SecondaryActivate", GLib.Variant("(ii)", (0, 0)))


main()
