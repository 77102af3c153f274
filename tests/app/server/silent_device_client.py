#!/usr/bin/python3
"""The DA client of the stop tests, against a server whose one controller never answers.

  silent_device_client.py config OUT          writes a configuration with the device Silent
                                              (Modbus TCP at 127.0.0.3, a long answer time-out)
  silent_device_client.py read ADDRESS        adds Silent.Level to a group, starts a device
                                              read, prints "reading" and waits for its answer
  silent_device_client.py config2 OUT          the same with a second device Healthy (Modbus
                                              TCP at 127.0.0.2)
  silent_device_client.py subscribe ADDRESS   keeps an active 250 ms group over Silent.Level,
                                              prints "subscribed" and waits to be killed
  silent_device_client.py follow ADDRESS GO   once the file GO exists: a new server object reads
                                              Healthy.Level from the device, prints "answered"
                                              and the value
"""
import time
import os
import sys

import dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "fixtures"))
import make_fixtures as mf  # noqa: E402

NAME = "VELK.ModbusOPCServer"
FACTORY = "/VELK/ModbusOPCServer"
OPC = "VELK.OPC."
INT, HOLDING_REGISTER, READ_WRITE, VT_EMPTY, OPC_DS_DEVICE = 2, 3, 3, 0, 2


def device(name, ip):
    params = mf.params(primary="COM1", secondary="COM1", address=1, tcp=1, ip1=ip, ip2=ip,
                       tag_scan=1000, event_scan=1000, timeout=30000, retries=1)
    level = mf.tag("Level", data_type=INT, location=HOLDING_REGISTER, address=0,
                   access=READ_WRITE, simulation=0)
    return mf.device(name, params_=params, next_tag=2, tags=[level])


def config(out, healthy=False):
    devices = [device("Silent", "127.0.0.3")] + ([device("Healthy", "127.0.0.2")] if healthy else [])
    with open(out, "wb") as f:
        f.write(mf.write_document(mf.config(devices=devices, next_device=len(devices) + 1)))


def server_object(bus):
    factory = bus.get_object(NAME, FACTORY)
    return bus.get_object(NAME, factory.CreateInstance(dbus_interface="VELK.ClassFactory",
                                                       timeout=120))


def group_with(bus, server, item, active, rate):
    _, path, _, _ = server.AddGroup("G", active, rate, 1, False, 0, False, 0.0, 0,
                                    dbus_interface=OPC + "IOPCServer", timeout=120)
    group = bus.get_object(NAME, path)
    _, results, _ = group.AddItems([("", item, True, 1, VT_EMPTY)],
                                   dbus_interface=OPC + "IOPCItemMgt", timeout=120)
    return group, results[0][0]


def subscribe(address):
    bus = dbus.bus.BusConnection(address)
    server = server_object(bus)
    keep = group_with(bus, server, "Silent.Level", True, 250)
    print("subscribed", flush=True)
    GLib.MainLoop().run()
    return keep


def follow(address, go):
    bus = dbus.bus.BusConnection(address)
    print("waiting", flush=True)
    while not os.path.exists(go):
        time.sleep(0.01)
    group, handle = group_with(bus, server_object(bus), "Healthy.Level", False, 1000)
    _, states, errors = group.Read(OPC_DS_DEVICE, [handle], dbus_interface=OPC + "IOPCSyncIO",
                                   timeout=120)
    print("answered", int(states[0][3][1]), int(errors[0]), flush=True)


def read(address):
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    factory = bus.get_object(NAME, FACTORY)
    server = bus.get_object(NAME, factory.CreateInstance(dbus_interface="VELK.ClassFactory"))
    _, path, _, _ = server.AddGroup("Blocked", False, 1000, 1, False, 0, False, 0.0, 0,
                                    dbus_interface=OPC + "IOPCServer")
    group = bus.get_object(NAME, path)
    _, results, _ = group.AddItems([("", "Silent.Level", True, 1, VT_EMPTY)],
                                   dbus_interface=OPC + "IOPCItemMgt")
    loop = GLib.MainLoop()
    group.Read(OPC_DS_DEVICE, [results[0][0]], dbus_interface=OPC + "IOPCSyncIO",
               reply_handler=lambda *answer: print("answered", flush=True),
               error_handler=lambda error: print("failed:", error, flush=True), timeout=120)
    print("reading", flush=True)
    loop.run()


if __name__ == "__main__":
    if sys.argv[1] == "config":
        config(sys.argv[2])
    elif sys.argv[1] == "config2":
        config(sys.argv[2], healthy=True)
    elif sys.argv[1] == "subscribe":
        subscribe(sys.argv[2])
    elif sys.argv[1] == "follow":
        follow(sys.argv[2], sys.argv[3])
    else:
        read(sys.argv[2])
