"""A python3-dbus client that uses the server's bus conventions as docs/dbus-api.md gives
them, against the test class: factory, interface query, result codes, a sink callback and
release. Arguments: bus address, bus name, factory path. Exit code 0 when every check held;
each failed check is printed."""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

COUNTER = "VELK.Test.ICounter"
SINK = "VELK.Test.ISink"
failures = []


def check(condition, text):
    if not condition:
        failures.append(text)
        print("FAILED:", text, flush=True)


def hresult(error):
    if error.get_dbus_name() != "VELK.Error.HRESULT":
        return None
    return int(error.get_dbus_message()[:10], 16)


def failure_of(call, *args):
    try:
        call(*args)
    except dbus.exceptions.DBusException as error:
        return error
    return None


class Sink(dbus.service.Object):
    def __init__(self, bus, path, loop):
        super().__init__(bus, path)
        self.totals = []
        self.loop = loop

    @dbus.service.method(SINK, in_signature="i", out_signature="")
    def OnNotify(self, total):
        self.totals.append(int(total))
        self.loop.quit()


def wait(loop, condition, seconds=20):
    """Runs the main loop until the condition holds or the time runs out."""
    def poll():
        if condition():
            loop.quit()
            return False
        return True
    GLib.timeout_add(50, poll)
    GLib.timeout_add_seconds(seconds, loop.quit)
    if not condition():
        loop.run()
    return condition()


def main():
    address, name, factory_path = sys.argv[1:4]
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    loop = GLib.MainLoop()

    factory = bus.get_object(name, factory_path)
    path = factory.CreateInstance(dbus_interface="VELK.ClassFactory")
    check(str(path).startswith(factory_path + "/Instance"), "instance path " + path)
    other = factory.CreateInstance(dbus_interface="VELK.ClassFactory")
    check(other != path, "a second instance has its own path")

    instance = bus.get_object(name, path)
    obj = dbus.Interface(instance, "VELK.Object")
    interfaces = [str(i) for i in obj.GetInterfaces()]
    check(interfaces == ["VELK.Object", COUNTER], "interfaces " + repr(interfaces))
    check(failure_of(obj.QueryInterface, COUNTER) is None, "QueryInterface of the counter")
    error = failure_of(obj.QueryInterface, "VELK.Test.INothing")
    check(error is not None and hresult(error) == 0x80004002, "E_NOINTERFACE for an unknown interface")

    counter = dbus.Interface(instance, COUNTER)
    check(counter.Add(5) == 5 and counter.Add(2) == 7, "the instance keeps its total")
    check(dbus.Interface(bus.get_object(name, other), COUNTER).Add(1) == 1, "instances are separate")

    code = 0xC0040007  # OPC_E_UNKNOWNITEMID, passed in its signed form
    error = failure_of(counter.Fail, dbus.Int32(code - 2**32))
    check(error is not None and hresult(error) == code, "a failure carries its code")
    check(counter.Succeed(1) == 1, "a success code comes back as the hresult result")
    error = failure_of(lambda: counter.Add("five", signature="s"))
    check(error is not None and error.get_dbus_name() == "org.freedesktop.DBus.Error.InvalidArgs",
          "wrong argument types are refused by the bus library")

    sink = Sink(bus, "/Client/Sink", loop)
    counter.Advise(dbus.ObjectPath("/Client/Sink"))
    counter.Notify(dbus.UInt32(5000))
    check(wait(loop, lambda: sink.totals == [7]), "the sink was called with the total: " + repr(sink.totals))
    check(wait(loop, lambda: list(counter.Completions()) == [0]), "the server saw the sink's answer")

    obj.Release()
    check(failure_of(counter.Add, 1) is not None, "a released instance answers no more")
    dbus.Interface(bus.get_object(name, other), "VELK.Object").Release()

    print("python client: %d failed checks" % len(failures), flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
