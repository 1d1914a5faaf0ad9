#!/usr/bin/python3
"""A file manager service of the test's own on the session bus: prints "ready" once it owns
org.freedesktop.FileManager1, then the URIs of every ShowItems call, one call a line.
Usage: file-manager-service.py"""
import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

NAME = "org.freedesktop.FileManager1"
NODE = Gio.DBusNodeInfo.new_for_xml(f"""<node><interface name="{NAME}">
  <method name="ShowItems"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
</interface></node>""")


def on_call(connection, sender, path, interface, method, parameters, invocation):
    uris, _startup_id = parameters.unpack()
    print(" ".join(uris), flush=True)
    invocation.return_value(None)


def on_bus(connection, _name):
    connection.register_object("/org/freedesktop/FileManager1", NODE.interfaces[0], on_call)


Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, on_bus,
                 lambda *_: print("ready", flush=True), lambda *_: exit(1))
GLib.MainLoop().run()
