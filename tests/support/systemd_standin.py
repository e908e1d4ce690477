#!/usr/bin/python3
"""A stand-in for systemd's manager on a private D-Bus bus.

    systemd_standin.py ADDRESS [UNIT=ACTIVESTATE[/FREEZERSTATE] ...]

Serves org.freedesktop.systemd1: GetUnit, LoadUnit, StartUnit, StopUnit,
FreezeUnit and ThawUnit, and each unit's LoadState, ActiveState and
FreezerState. An action puts its unit into the pending state for the next
two reads of that state, then into the final one, as systemd's jobs do.
The test steers it through org.corvanta.Standin: Set(unit, active, freezer)
and Refuse(bool) (every action then fails with AccessDenied, as polkit does).
Prints "ready" once the name is owned.
"""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

MANAGER = "org.freedesktop.systemd1.Manager"
UNIT = "org.freedesktop.systemd1.Unit"
CONTROL = "org.corvanta.Standin"
PENDING_READS = 2


def unit_path(name):
    # systemd's escaping: every byte but letters and digits as _xx.
    return "/org/freedesktop/systemd1/unit/" + "".join(
        c if c.isalnum() else "_%02x" % ord(c) for c in name)


def error(name, message):
    return dbus.DBusException(message, name=name)


class Unit(dbus.service.Object):
    def __init__(self, bus, name, load, active="inactive", freezer="running"):
        self.path = unit_path(name)
        super().__init__(bus, self.path)
        self.props = {"LoadState": load, "ActiveState": active, "FreezerState": freezer}
        self.pending = {}  # property -> [reads left, final value]

    def change(self, prop, now, final):
        self.props[prop] = now
        self.pending[prop] = [PENDING_READS, final]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        if interface != UNIT or prop not in self.props:
            raise error("org.freedesktop.DBus.Error.UnknownProperty", prop)
        if prop in self.pending:
            left = self.pending[prop]
            if left[0] == 0:
                self.props[prop] = left[1]
                del self.pending[prop]
            else:
                left[0] -= 1
        return dbus.String(self.props[prop])


class Manager(dbus.service.Object):
    def __init__(self, bus, specs):
        super().__init__(bus, "/org/freedesktop/systemd1")
        self.bus = bus
        self.units = {}
        self.refuse = False
        for spec in specs:
            name, states = spec.split("=", 1)
            active, _, freezer = states.partition("/")
            self.units[name] = Unit(bus, name, "loaded", active, freezer or "running")

    def unit(self, name):
        if name not in self.units:
            raise error("org.freedesktop.systemd1.NoSuchUnit", "Unit %s not loaded." % name)
        return self.units[name]

    def act(self, name, prop, now, final):
        unit = self.unit(name)
        if self.refuse:
            raise error("org.freedesktop.DBus.Error.AccessDenied",
                        "Access denied: the administrator's password was not given.")
        unit.change(prop, now, final)
        return dbus.ObjectPath("/org/freedesktop/systemd1/job/1")

    @dbus.service.method(MANAGER, in_signature="s", out_signature="o")
    def GetUnit(self, name):
        return dbus.ObjectPath(self.unit(name).path)

    @dbus.service.method(MANAGER, in_signature="s", out_signature="o")
    def LoadUnit(self, name):
        if name not in self.units:
            self.units[name] = Unit(self.bus, name, "not-found")
        return dbus.ObjectPath(self.units[name].path)

    @dbus.service.method(MANAGER, in_signature="ss", out_signature="o")
    def StartUnit(self, name, mode):
        return self.act(name, "ActiveState", "activating", "active")

    @dbus.service.method(MANAGER, in_signature="ss", out_signature="o")
    def StopUnit(self, name, mode):
        return self.act(name, "ActiveState", "deactivating", "inactive")

    @dbus.service.method(MANAGER, in_signature="s", out_signature="")
    def FreezeUnit(self, name):
        self.act(name, "FreezerState", "freezing", "frozen")

    @dbus.service.method(MANAGER, in_signature="s", out_signature="")
    def ThawUnit(self, name):
        self.act(name, "FreezerState", "thawing", "running")

    @dbus.service.method(CONTROL, in_signature="sss", out_signature="")
    def Set(self, name, active, freezer):
        if name not in self.units:
            self.units[name] = Unit(self.bus, name, "loaded")
        unit = self.units[name]
        unit.props.update(LoadState="loaded", ActiveState=active, FreezerState=freezer)
        unit.pending.clear()

    @dbus.service.method(CONTROL, in_signature="b", out_signature="")
    def Refuse(self, refuse):
        self.refuse = bool(refuse)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(sys.argv[1])
    manager = Manager(bus, sys.argv[2:])
    name = dbus.service.BusName("org.freedesktop.systemd1", bus)
    print("ready", flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
