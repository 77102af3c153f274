#!/usr/bin/python3
"""Times what a silent controller costs other clients during client churn and at the stop.

A controller that accepts connections and never answers (Silent, 127.0.0.3) and a healthy one
(velkopc-plcsim, 127.0.0.2) are served by one velkopc on a private session bus. SUBSCRIBERS
clients each keep an active 250 ms group over Silent.Level, then leave; a new client then
reads Healthy.Level from the device and asks the status. Finally the same number of
subscribers come again and the server gets SIGTERM. Prints the times in milliseconds.

  silent_churn_probe.py BUILD_DIR [SUBSCRIBERS]
"""
import os
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))
import make_fixtures as mf  # noqa: E402

NAME, FACTORY, OPC = "VELK.ModbusOPCServer", "/VELK/ModbusOPCServer", "VELK.OPC."
INT, HOLDING_REGISTER, READ_WRITE, VT_EMPTY, OPC_DS_DEVICE = 2, 3, 3, 0, 2
KEY = "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server"

SUBSCRIBER = r'''
import sys, dbus
from gi.repository import GLib
bus = dbus.bus.BusConnection(sys.argv[1])
f = bus.get_object("%(n)s", "%(f)s")
s = bus.get_object("%(n)s", f.CreateInstance(dbus_interface="VELK.ClassFactory"))
_, path, _, _ = s.AddGroup("Sub", True, 250, 1, False, 0, False, 0.0, 0,
                           dbus_interface="%(o)sIOPCServer")
g = bus.get_object("%(n)s", path)
g.AddItems([("", "Silent.Level", True, 1, 0)], dbus_interface="%(o)sIOPCItemMgt")
print("subscribed", flush=True)
GLib.MainLoop().run()
''' % {"n": NAME, "f": FACTORY, "o": OPC}


def write_config(path, healthy_port):
    def dev(name, ip, number):
        params = mf.params(primary="COM1", secondary="COM1", address=1, tcp=1, ip1=ip, ip2=ip,
                           tag_scan=1000, event_scan=1000, timeout=30000, retries=1)
        level = mf.tag("Level", data_type=INT, location=HOLDING_REGISTER, address=0,
                       access=READ_WRITE, simulation=0)
        return mf.device(name, params_=params, next_tag=2, tags=[level])
    with open(path, "wb") as f:
        f.write(mf.write_document(mf.config(devices=[dev("Silent", "127.0.0.3", 1),
                                                    dev("Healthy", "127.0.0.2", 2)],
                                            next_device=3)))


def wait_line(stream, text, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        line = stream.readline()
        if not line:
            break
        if text in line:
            return True
    return False


def main():
    build = sys.argv[1]
    subscribers = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    work = tempfile.mkdtemp(prefix="velk-churn-")
    silent = socket.socket()
    silent.bind(("127.0.0.3", 0))
    silent.listen(64)
    plcsim = subprocess.Popen([os.path.join(build, "bin", "velkopc-plcsim"), "--tcp",
                               "127.0.0.2:0", "--holding", "0=1234", "--no-stdin"],
                              stdout=subprocess.PIPE, text=True)
    healthy_port = None
    for line in plcsim.stdout:
        if "channel" in line and "tcp" in line:
            healthy_port = int(line.rsplit(":", 1)[1])
        if "ready" in line:
            break
    config = os.path.join(work, "churn.vlk")
    write_config(config, healthy_port)
    with open(os.path.join(work, "settings.reg"), "w", newline="") as f:
        f.write("Windows Registry Editor Version 5.00\r\n\r\n")
        f.write(KEY + "\\TraceFile]\r\n\"FileName\"=\"%s\"\r\n\r\n" % os.path.join(work, "trace.txt"))
        f.write(KEY + "\\TcpPorts]\r\n\"127.0.0.3\"=dword:%08x\r\n\"127.0.0.2\"=dword:%08x\r\n\r\n"
                % (silent.getsockname()[1], healthy_port))
        f.write(KEY + "\\Recent File List]\r\n\"File1\"=\"%s\"\r\n" % config)
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                              stdout=subprocess.PIPE, text=True)
    address = daemon.stdout.readline().strip()
    env = dict(os.environ, VELKOPC_SETTINGS=os.path.join(work, "settings.reg"),
               VELKOPC_USER_SETTINGS=os.path.join(work, "user.reg"),
               VELKOPC_INSTANCE_NAME="velk-churn-%d" % os.getpid(),
               DBUS_SESSION_BUS_ADDRESS=address)
    server = subprocess.Popen([os.path.join(build, "bin", "velkopc")], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    import dbus
    bus = dbus.bus.BusConnection(address)
    end = time.monotonic() + 30
    while time.monotonic() < end and not bus.name_has_owner(NAME):
        time.sleep(0.1)

    def subscribe():
        clients = [subprocess.Popen(["/usr/bin/python3", "-c", SUBSCRIBER, address],
                                    stdout=subprocess.PIPE, text=True)
                   for _ in range(subscribers)]
        for c in clients:
            wait_line(c.stdout, "subscribed", 30)
        time.sleep(1.5)  # their groups' reads are on the wire to the silent controller
        return clients

    for c in subscribe():
        c.kill()
        c.wait()
    time.sleep(0.5)
    factory = bus.get_object(NAME, FACTORY)
    t0 = time.monotonic()
    server_path = factory.CreateInstance(dbus_interface="VELK.ClassFactory", timeout=120)
    created = time.monotonic()
    opc = bus.get_object(NAME, server_path)
    opc.GetStatus(dbus_interface=OPC + "IOPCServer", timeout=120)
    status = time.monotonic()
    _, path, _, _ = opc.AddGroup("New", False, 1000, 1, False, 0, False, 0.0, 0,
                                 dbus_interface=OPC + "IOPCServer", timeout=120)
    group = bus.get_object(NAME, path)
    _, results, _ = group.AddItems([("", "Healthy.Level", True, 1, VT_EMPTY)],
                                   dbus_interface=OPC + "IOPCItemMgt", timeout=120)
    t1 = time.monotonic()
    answer = group.Read(OPC_DS_DEVICE, [results[0][0]], dbus_interface=OPC + "IOPCSyncIO",
                        timeout=120)
    read = time.monotonic()
    print("after churn: new server object %.1f ms, GetStatus %.1f ms, device read of Healthy "
          "%.1f ms (value %d)" % ((created - t0) * 1000, (status - created) * 1000,
                                 (read - t1) * 1000, int(answer[1][0][3][1])))

    clients = subscribe()
    t2 = time.monotonic()
    server.terminate()
    try:
        server.wait(60)
        print("SIGTERM to exit: %d ms (exit code %d)" % ((time.monotonic() - t2) * 1000,
                                                        server.returncode))
    except subprocess.TimeoutExpired:
        print("SIGTERM: the server did not end within 60 s")
        server.kill()
    for c in clients:
        c.kill()
    plcsim.terminate()
    daemon.terminate()


if __name__ == "__main__":
    main()
