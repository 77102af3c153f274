#!/usr/bin/python3
"""The DA client of the stop tests, against a server whose one controller never answers.

  silent_device_client.py config OUT          writes a configuration with the device Silent
                                              (Modbus TCP at 127.0.0.3, a long answer time-out)
  silent_device_client.py read ADDRESS        adds Silent.Level to a group, starts a device
                                              read, prints "reading" and waits for its answer
"""
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


def config(out):
    params = mf.params(primary="COM1", secondary="COM1", address=1, tcp=1, ip1="127.0.0.3",
                       ip2="127.0.0.3", tag_scan=1000, event_scan=1000, timeout=30000, retries=1)
    level = mf.tag("Level", data_type=INT, location=HOLDING_REGISTER, address=0,
                   access=READ_WRITE, simulation=0)
    silent = mf.device("Silent", params_=params, next_tag=2, tags=[level])
    with open(out, "wb") as f:
        f.write(mf.write_document(mf.config(devices=[silent], next_device=2)))


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
    else:
        read(sys.argv[2])
