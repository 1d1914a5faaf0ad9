#!/usr/bin/python3
"""The desktop around Lumo in its tests.
  desktop-peer.py notifications LOG   a notification service on the session bus: each Notify
      appends "id<TAB>icon<TAB>summary<TAB>body<TAB>image-path" to LOG; the method
      org.lumo.TestNotifications.Click(id) activates notification id as a click would.
  desktop-peer.py drag-source FILE... a window titled "drag-source" at (1440, 0) whose area
      drags the files as a text/uri-list."""
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gio, GLib, Gtk, Gdk  # noqa: E402

PATH = "/org/freedesktop/Notifications"
XML = """<node>
 <interface name="org.freedesktop.Notifications">
  <method name="Notify"><arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/>
   <arg type="s"/><arg type="as"/><arg type="a{sv}"/><arg type="i"/>
   <arg type="u" direction="out"/></method>
  <method name="GetCapabilities"><arg type="as" direction="out"/></method>
  <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
 </interface>
 <interface name="org.lumo.TestNotifications">
  <method name="Click"><arg type="u"/></method>
 </interface>
</node>"""


def notifications(log):
    count = [0]

    def call(bus, sender, path, iface, method, params, invocation):
        if method == "Notify":
            _, _, icon, summary, body, _, hints, _ = params.unpack()
            count[0] += 1
            with open(log, "a") as out:
                print(count[0], icon, summary, body, hints.get("image-path", ""), sep="\t", file=out)
            invocation.return_value(GLib.Variant("(u)", (count[0],)))
        elif method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (["actions", "body"],)))
        else:
            (nid,) = params.unpack()
            iface = "org.freedesktop.Notifications"
            bus.emit_signal(None, PATH, iface, "ActionInvoked", GLib.Variant("(us)", (nid, "default")))
            bus.emit_signal(None, PATH, iface, "NotificationClosed", GLib.Variant("(uu)", (nid, 2)))
            invocation.return_value(None)

    def acquired(bus, name):
        for iface in Gio.DBusNodeInfo.new_for_xml(XML).interfaces:
            bus.register_object(PATH, iface, call, None, None)

    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications",
                     Gio.BusNameOwnerFlags.NONE, acquired, None, None)
    GLib.MainLoop().run()


def drag_source(files):
    window = Gtk.Window(title="drag-source")
    window.move(1440, 0)
    window.set_default_size(150, 150)
    area = Gtk.EventBox()
    area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY)
    area.drag_source_add_uri_targets()
    uris = [Gio.File.new_for_path(f).get_uri() for f in files]
    area.connect("drag-data-get", lambda w, context, data, info, time: data.set_uris(uris))
    window.add(area)
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    notifications(sys.argv[2]) if sys.argv[1] == "notifications" else drag_source(sys.argv[2:])
