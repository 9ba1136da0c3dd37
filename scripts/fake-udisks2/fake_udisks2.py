#!/usr/bin/python3
# A fake UDisks2 daemon for tests, on a private D-Bus bus.
#
# Why: Wine's mount manager (mountmgr.sys) learns about disks only from
# UDisks2 on the D-Bus system bus, and raises the WM_DEVICECHANGE volume
# broadcasts Windows raises when a disk comes or goes. Pointing Wine's
# DBUS_SYSTEM_BUS_ADDRESS at a private bus where this service owns
# org.freedesktop.UDisks2 lets a test plug and unplug a "USB stick" without
# hardware, root-owned system services or a real mount.
#
# What the mount manager reads (and so all this service offers):
#   - GetManagedObjects on /org/freedesktop/UDisks2 (ObjectManager), once at
#     start and again after every InterfacesAdded, to look up the new object;
#   - InterfacesAdded / InterfacesRemoved signals from that same path;
#   - a block object (under /org/freedesktop/UDisks2/block_devices/) whose
#     Block.Device names a real block special file, whose Block.Drive points
#     at a drive object with Drive.Removable true (otherwise no drive letter),
#     and whose Filesystem.MountPoints is not empty (otherwise Wine does not
#     broadcast the removal). Byte strings carry their trailing NUL: Wine
#     reads them as C strings.
# It never emits PropertiesChanged: Wine treats that as a new arrival of a
# known device and broadcasts DBT_DEVICEARRIVAL a second time.
#
# Control, for the test driver: org.varnik.FakeUDisks2 on /org/varnik/FakeUDisks2
#   AddStick(name, device, mount_point) -> block object path
#   RemoveStick(name)
#   ConnectedReaders() -> how many of the clients that asked GetManagedObjects
#                         are still on the bus: a mount manager that is
#                         listening now, not one of a Wine session that ended
# Prints "ready" on stdout once it owns its names.
import argparse
import os
import signal
import sys
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

UDISKS = "org.freedesktop.UDisks2"
MANAGER_PATH = "/org/freedesktop/UDisks2"
OBJECT_MANAGER = "org.freedesktop.DBus.ObjectManager"
CONTROL = "org.varnik.FakeUDisks2"
CONTROL_PATH = "/org/varnik/FakeUDisks2"


def trace(message):
    # With VARNIK_FAKE_UDISKS2_TRACE=1: what was asked and sent, and when.
    if os.environ.get("VARNIK_FAKE_UDISKS2_TRACE"):
        print(f"fake_udisks2: {time.monotonic():.3f} {message}", file=sys.stderr, flush=True)


def c_bytes(text):
    return dbus.ByteArray(text.encode() + b"\0")


def stick_objects(name, device, mount_point):
    """The drive object and block object of one USB stick with a FAT volume."""
    drive_path = dbus.ObjectPath(f"{MANAGER_PATH}/drives/Varnik_Stick_{name}")
    block_path = dbus.ObjectPath(f"{MANAGER_PATH}/block_devices/{name}")
    drive = {
        "org.freedesktop.UDisks2.Drive": dbus.Dictionary({
            "Vendor": dbus.String("Varnik"),
            "Model": dbus.String("Test Stick"),
            "Id": dbus.String(f"Varnik-Test-Stick-{name}"),
            "Serial": dbus.String(name),
            "ConnectionBus": dbus.String("usb"),
            "Removable": dbus.Boolean(True),
            "MediaRemovable": dbus.Boolean(False),
            "MediaAvailable": dbus.Boolean(True),
            "Ejectable": dbus.Boolean(True),
            "MediaCompatibility": dbus.Array([], signature="s"),
            "Size": dbus.UInt64(64 << 20),
        }, signature="sv"),
    }
    block = {
        "org.freedesktop.UDisks2.Block": dbus.Dictionary({
            "Device": c_bytes(device),
            "PreferredDevice": c_bytes(device),
            "Drive": drive_path,
            "Size": dbus.UInt64(64 << 20),
            "IdUsage": dbus.String("filesystem"),
            "IdType": dbus.String("vfat"),
            "IdVersion": dbus.String("FAT32"),
            "IdLabel": dbus.String("VARNIK"),
            "IdUUID": dbus.String("1A2B-3C4D"),
            "HintPartitionable": dbus.Boolean(False),
            "HintSystem": dbus.Boolean(False),
        }, signature="sv"),
        "org.freedesktop.UDisks2.Filesystem": dbus.Dictionary({
            "MountPoints": dbus.Array([c_bytes(mount_point)], signature="ay"),
        }, signature="sv"),
    }
    return (drive_path, drive), (block_path, block)


class Manager(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, MANAGER_PATH)
        self.objects = {}  # path -> {interface: properties}
        self.sticks = {}  # name -> [drive path, block path]
        self.readers = set()  # unique bus names of clients that read the objects

    @dbus.service.method(OBJECT_MANAGER, in_signature="", out_signature="a{oa{sa{sv}}}",
                         sender_keyword="sender")
    def GetManagedObjects(self, sender=None):
        trace(f"GetManagedObjects from {sender}, {len(self.objects)} objects")
        if sender and sender not in self.readers:
            self.readers.add(sender)
            self.connection.watch_name_owner(sender, lambda owner: self.reader_changed(sender, owner))
        return dbus.Dictionary(self.objects, signature="oa{sa{sv}}")

    def reader_changed(self, sender, owner):
        if not owner:
            trace(f"{sender} left the bus")
            self.readers.discard(sender)

    @dbus.service.signal(OBJECT_MANAGER, signature="oa{sa{sv}}")
    def InterfacesAdded(self, path, interfaces):
        pass

    @dbus.service.signal(OBJECT_MANAGER, signature="oas")
    def InterfacesRemoved(self, path, interfaces):
        pass

    def add(self, path, interfaces):
        trace(f"InterfacesAdded {path}")
        self.objects[path] = dbus.Dictionary(interfaces, signature="sa{sv}")
        self.InterfacesAdded(path, self.objects[path])

    def remove(self, path):
        trace(f"InterfacesRemoved {path}")
        interfaces = self.objects.pop(path)
        self.InterfacesRemoved(path, dbus.Array(list(interfaces.keys()), signature="s"))


class Control(dbus.service.Object):
    def __init__(self, bus, manager):
        super().__init__(bus, CONTROL_PATH)
        self.manager = manager

    @dbus.service.method(CONTROL, in_signature="sss", out_signature="o")
    def AddStick(self, name, device, mount_point):
        if not name.isalnum() or name in self.manager.sticks:
            raise dbus.exceptions.DBusException(f"bad or duplicate stick name {name!r}",
                                                name=CONTROL + ".Error")
        (drive_path, drive), (block_path, block) = stick_objects(str(name), str(device), str(mount_point))
        # The drive first: the mount manager looks it up when the block arrives.
        self.manager.add(drive_path, drive)
        self.manager.add(block_path, block)
        self.manager.sticks[name] = [drive_path, block_path]
        return block_path

    @dbus.service.method(CONTROL, in_signature="s", out_signature="")
    def RemoveStick(self, name):
        if name not in self.manager.sticks:
            raise dbus.exceptions.DBusException(f"no stick {name!r}", name=CONTROL + ".Error")
        drive_path, block_path = self.manager.sticks.pop(name)
        self.manager.remove(block_path)
        self.manager.remove(drive_path)

    @dbus.service.method(CONTROL, in_signature="", out_signature="u")
    def ConnectedReaders(self):
        return len(self.manager.readers)


def main():
    parser = argparse.ArgumentParser(description="fake UDisks2 service on a private bus")
    parser.add_argument("--address", required=True, help="D-Bus address of the private bus")
    args = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(args.address)
    manager = Manager(bus)
    Control(bus, manager)
    # The names are the service's while these objects live.
    manager.names = [dbus.service.BusName(UDISKS, bus, do_not_queue=True),
                     dbus.service.BusName(CONTROL, bus, do_not_queue=True)]

    loop = GLib.MainLoop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_HIGH, sig, loop.quit)
    # The bus going away (the driver ended it) ends the service too.
    bus.call_on_disconnection(lambda _connection: loop.quit())
    print("ready", flush=True)
    loop.run()
    # Straight out: releasing the names at exit would only print tracebacks
    # when the bus is already gone.
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
