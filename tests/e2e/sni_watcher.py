#!/usr/bin/python3
# A stand-in for a panel's StatusNotifierWatcher on the session bus: it takes the watcher's name,
# prints "watching" once the name is its own and "item NAME" for each tray item that registers. Its
# host is registered at once, or with --host-later on SIGUSR1, as panels do that take the name before
# their UI is up.
# Debian's python (for its GObject bindings): run.py may run under another.
import signal
import sys

from gi.repository import Gio, GLib

NAME, PATH = "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher"
XML = f"""<node><interface name="{NAME}"><method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/>
</method><property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<signal name="StatusNotifierHostRegistered"/></interface></node>"""
host = ["--host-later" not in sys.argv]
bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(connection, sender, path, interface, method, args, invocation):
    if method == "RegisterStatusNotifierItem":
        print("item", args[0], flush=True)
    invocation.return_value(None)


def get(connection, sender, path, interface, name):
    print("asked", host[0], flush=True)
    return GLib.Variant("b", host[0])


def register_host():
    host[0] = True
    bus.emit_signal(None, PATH, NAME, "StatusNotifierHostRegistered", None)
    return GLib.SOURCE_REMOVE


bus.register_object(PATH, Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], call, get, None)
Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE, lambda *_: print("watching", flush=True), None)
if not host[0]:
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, register_host)
GLib.MainLoop().run()
