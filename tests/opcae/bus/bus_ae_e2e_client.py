"""An AE client of the end-to-end tests that knows only docs/dbus-api.md: it subscribes to
the server's alarm events, changes values in the controller simulator through its control
socket and checks what arrives. Arguments: bus address, simulator control socket, mode
("alarms" or "commloss"). Exit code 0 when every check held; each failed check is printed."""
import collections
import socket
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "VELK.AlarmEventServer"
FACTORY = "/VELK/AlarmEventServer"
SERVER = "VELK.OPC.IOPCEventServer"
MGT = "VELK.OPC.IOPCEventSubscriptionMgt"
POINTS = "VELK.OPC.IConnectionPointContainer"
SINK = "VELK.OPC.IOPCEventSink"
S_FALSE = 1
OPC_S_INVALIDBUFFERTIME = 0x00040201
OPC_S_INVALIDMAXSIZE = 0x00040202

Event = collections.namedtuple(
    "Event", "mask state source time message type category severity condition subcondition "
             "quality ack_required active_time cookie attributes actor")
Call = collections.namedtuple("Call", "handle refresh last events")

failures = []
loop = None


def check(condition, text):
    if not condition:
        failures.append(text)
        print("FAILED:", text, flush=True)
    return condition


def hresult(error):
    if error.get_dbus_name() != "VELK.Error.HRESULT":
        return None
    return int(error.get_dbus_message()[:10], 16)


def sim(control, line):
    """One command to the controller simulator; its reply."""
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.connect(control)
    s.sendall((line + "\n").encode())
    reply = b""
    while not (reply == b"ok\n" or reply.endswith(b"\nok\n") or b"error: " in reply):
        chunk = s.recv(1024)
        if not chunk:
            break
        reply += chunk
    s.close()
    check(b"error" not in reply, "simulator command %r: %r" % (line, reply))
    return reply.decode()


def wait(condition, seconds=30):
    """Runs the main loop until the condition holds or the time runs out."""
    if condition():
        return True
    done = []

    def poll():
        if condition():
            done.append(True)
            loop.quit()
            return False
        return True

    def give_up():
        loop.quit()
        return False

    poll_id = GLib.timeout_add(20, poll)
    timer_id = GLib.timeout_add_seconds(seconds, give_up)
    loop.run()
    for source in (poll_id, timer_id):
        GLib.source_remove(source) if GLib.main_context_default().find_source_by_id(source) else None
    return condition()


class Sink(dbus.service.Object):
    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.calls = []

    @dbus.service.method(SINK, in_signature="ubba(qqstsuuussqbtua(qv)s)", out_signature="")
    def OnEvent(self, handle, refresh, last, events):
        converted = []
        for e in events:
            fields = list(e)
            fields[14] = [(int(code), value) for code, value in fields[14]]
            converted.append(Event(*fields))
        self.calls.append(Call(int(handle), bool(refresh), bool(last), converted))

    def events(self, refresh=None):
        return [e for c in self.calls if refresh is None or c.refresh == refresh for e in c.events]

    def find(self, source, mask=None, active=None):
        for e in self.events(refresh=False):
            if e.source != source:
                continue
            if mask is not None and e.mask != mask:
                continue
            if active is not None and bool(e.state & 2) != active:
                continue
            return e
        return None


Subscription = collections.namedtuple("Subscription", "path mgt sink cookie")


class Client:
    def __init__(self, address, name):
        self.name = name
        self.bus = dbus.bus.BusConnection(address)
        factory = self.bus.get_object(NAME, FACTORY)
        self.path = factory.CreateInstance(dbus_interface="VELK.ClassFactory")
        self.server = dbus.Interface(self.bus.get_object(NAME, self.path), SERVER)
        self.count = 0

    def subscribe(self, buffer_time=100, max_size=100, handle=1):
        result, path, revised_time, revised_size = self.server.CreateEventSubscription(
            True, dbus.UInt32(buffer_time), dbus.UInt32(max_size), dbus.UInt32(handle), "")
        check(result == 0, "subscription %d/%d: result %x" % (buffer_time, max_size, result))
        self.count += 1
        sink_path = "/%s/Sink%d" % (self.name, self.count)
        sink = Sink(self.bus, sink_path)
        obj = self.bus.get_object(NAME, path)
        cookie = dbus.Interface(obj, POINTS).Advise(SINK, dbus.ObjectPath(sink_path))
        return Subscription(path, dbus.Interface(obj, MGT), sink, int(cookie))


def set_filter(subscription, categories=(), low=1, high=1000, areas=()):
    return subscription.mgt.SetFilter(
        dbus.UInt32(4), dbus.Array(categories, signature="u"), dbus.UInt32(low), dbus.UInt32(high),
        dbus.Array(areas, signature="s"), dbus.Array([], signature="s"))


def alarms(address, control):
    first = Client(address, "First")
    second = Client(address, "Second")

    # Revised parameters: buffer time 0 and maximum size 0 become 1000 and 1024.
    result, path, revised_time, revised_size = first.server.CreateEventSubscription(
        True, dbus.UInt32(0), dbus.UInt32(0), dbus.UInt32(5), "")
    check(result == OPC_S_INVALIDMAXSIZE, "revised result %x" % result)
    check((revised_time, revised_size) == (1000, 1024), "revised %d %d" % (revised_time, revised_size))
    result, _, revised_time, _ = first.server.CreateEventSubscription(
        True, dbus.UInt32(0), dbus.UInt32(100), dbus.UInt32(5), "")
    check(result == OPC_S_INVALIDBUFFERTIME and revised_time == 1000, "buffer time revised %x" % result)
    dbus.Interface(first.bus.get_object(NAME, path), "VELK.Object").Release()

    main = first.subscribe(handle=11)
    main.mgt.SelectReturnedAttributes(dbus.UInt32(4), dbus.Array([112, 113], signature="u"))
    other1 = second.subscribe(handle=21)
    other2 = second.subscribe(handle=22)
    discrete = first.subscribe(handle=12)
    check(set_filter(discrete, categories=[2]) == 0, "category filter")
    severe = first.subscribe(handle=13)
    check(set_filter(severe, low=650) == 0, "severity filter")
    tanks = first.subscribe(handle=14)
    check(set_filter(tanks, areas=["plc1.tank?"]) == 0, "area filter")
    got = severe.mgt.GetFilter()
    check(int(got[2]) == 650 and list(got[4]) == [], "GetFilter %r" % (got,))

    # A value crossing the HiHi limit: an activation with every field.
    sim(control, "set holding 0 950")
    check(wait(lambda: main.sink.find("Plc1.Level", active=True)), "Level activation arrives")
    e = main.sink.find("Plc1.Level", active=True)
    if e:
        check(e.mask == 0xC1, "mask %x" % e.mask)
        check(e.state == 3, "state %x" % e.state)
        check(e.condition == "Analog Level" and e.subcondition == "HiHi",
              "condition %s/%s" % (e.condition, e.subcondition))
        check(e.severity == 900, "severity %d" % e.severity)
        check(e.message == "Tank level level very high", "message %r" % e.message)
        check(e.type == 4 and e.category == 4, "type %d category %d" % (e.type, e.category))
        check(e.quality == 0xC0, "quality %x" % e.quality)
        check(e.ack_required, "acknowledgement required")
        check(e.time > 0 and e.active_time == e.time, "times %d %d" % (e.time, e.active_time))
        check(e.cookie != 0, "cookie")
        check(len(e.attributes) == 2 and e.attributes[0][0] == 8 and float(e.attributes[0][1]) == 95.0
              and e.attributes[1] == (8, "North"), "attributes %r" % (e.attributes,))
        check(e.actor == "", "actor %r" % e.actor)
        check(main.sink.calls[0].handle == 11, "client handle")
    check(wait(lambda: other1.sink.find("Plc1.Level", active=True)
               and other2.sink.find("Plc1.Level", active=True)), "both subscriptions of the second client")

    # Filters: the pump (discrete, 500) and the flow (analog, 700, group Tanks).
    sim(control, "set coil 0 1")
    sim(control, "set holding 2 800")
    check(wait(lambda: discrete.sink.find("Plc1.Pump") and tanks.sink.find("Plc1.Tanks.Flow")
               and severe.sink.find("Plc1.Tanks.Flow") and main.sink.find("Plc1.Tanks.Flow")),
          "filtered subscriptions see their events")
    check([x.source for x in discrete.sink.events()] == ["Plc1.Pump"],
          "category filter passed %r" % [x.source for x in discrete.sink.events()])
    check([x.source for x in severe.sink.events()] == ["Plc1.Level", "Plc1.Tanks.Flow"],
          "severity filter passed %r" % [x.source for x in severe.sink.events()])
    check([x.source for x in tanks.sink.events()] == ["Plc1.Tanks.Flow"],
          "area filter passed %r" % [x.source for x in tanks.sink.events()])

    # An acknowledgement by the second client reaches every active subscription of both.
    if e:
        errors = second.server.AckCondition("e2e operator", "seen",
                                            [(e.source, e.condition, dbus.UInt64(e.active_time),
                                              dbus.UInt32(e.cookie))])
        check(list(errors) == [0], "acknowledgement errors %r" % (errors,))
        for s in (main, other1, other2, severe):
            check(wait(lambda: s.sink.find("Plc1.Level", mask=0x02)), "acknowledgement arrives")
            a = s.sink.find("Plc1.Level", mask=0x02)
            if a:
                check(a.state == 7 and a.actor == "e2e operator" and not a.ack_required,
                      "acknowledgement event %r" % (a,))
        try:
            second.server.AckCondition("", "", [(e.source, e.condition, dbus.UInt64(0),
                                                 dbus.UInt32(0x7FFFFFF0))])
            check(False, "unknown cookie accepted")
        except dbus.exceptions.DBusException as error:
            check(hresult(error) == 0x80070057, "unknown cookie: %s" % error)

    # Refresh with maximum size 1: one condition per call, then the last-refresh marker.
    refreshing = first.subscribe(max_size=1, handle=15)
    refreshing.mgt.Refresh(dbus.UInt32(refreshing.cookie))
    check(wait(lambda: any(c.last for c in refreshing.sink.calls)), "last refresh marker")
    calls = [c for c in refreshing.sink.calls if c.refresh]
    check(len(calls) == 4, "refresh calls %r" % (calls,))
    if len(calls) == 4:
        check(all(len(c.events) == 1 and not c.last and c.handle == 15 for c in calls[:3]),
              "one event per refresh call")
        check(calls[3].last and not calls[3].events, "final refresh call")
        by_source = {c.events[0].source: c.events[0] for c in calls[:3]}
        check(sorted(by_source) == ["Plc1.Level", "Plc1.Pump", "Plc1.Tanks.Flow"],
              "refreshed conditions %r" % sorted(by_source))
        level = by_source.get("Plc1.Level")
        if level:
            check(level.mask == 0x47 and level.state == 7 and level.subcondition == "HiHi",
                  "refreshed level %r" % (level,))
        pump = by_source.get("Plc1.Pump")
        if pump:
            check(pump.state == 3 and pump.condition == "Discrete On" and pump.subcondition == "Set",
                  "refreshed pump %r" % (pump,))

    # Back to normal.
    sim(control, "set holding 0 500")
    check(wait(lambda: main.sink.find("Plc1.Level", active=False)), "Level returns to normal")
    n = main.sink.find("Plc1.Level", active=False)
    if n:
        check(n.subcondition == "" and n.severity == 100 and n.message == "Tank level level normal",
              "normal event %r" % (n,))


def commloss(address, control):
    client = Client(address, "Watcher")
    devices = client.subscribe(handle=31)
    check(set_filter(devices, categories=[1]) == 0, "device category filter")
    source = "Plc1.__CF"

    sim(control, "silent on")
    check(wait(lambda: devices.sink.find(source, active=True), 40), "communication failure arrives")
    e = devices.sink.find(source, active=True)
    if e:
        check(e.condition == "Device Comm" and e.subcondition == "CommFail",
              "condition %s/%s" % (e.condition, e.subcondition))
        check(e.category == 1 and e.severity == 1000 and e.quality == 0xC0,
              "category %d severity %d quality %x" % (e.category, e.severity, e.quality))
        check(e.message == "Simulator communication failure", "message %r" % e.message)
        check(e.state == 3 and e.ack_required, "state %x" % e.state)
        # A refresh queues the present device condition as an ordinary event.
        devices.mgt.Refresh(dbus.UInt32(devices.cookie))
        check(wait(lambda: any(c.last for c in devices.sink.calls)
                   and len([x for x in devices.sink.events(False) if x.source == source and x.state & 2]) >= 2),
              "refresh repeats the device condition")
        errors = client.server.AckCondition("watcher", "", [(source, "Device Comm", dbus.UInt64(e.active_time),
                                                            dbus.UInt32(e.cookie))])
        check(list(errors) == [0], "acknowledgement %r" % (errors,))
        check(wait(lambda: devices.sink.find(source, mask=0x02)), "device acknowledgement arrives")

    sim(control, "silent off")
    check(wait(lambda: devices.sink.find(source, active=False), 40), "communication returns")
    n = devices.sink.find(source, active=False)
    if n:
        check(n.subcondition == "" and n.severity == 100 and n.message == "Simulator communication OK",
              "normal event %r" % (n,))
    check(all(x.category == 1 for x in devices.sink.events()), "only device events pass")


def main():
    global loop
    address, control, mode = sys.argv[1:4]
    DBusGMainLoop(set_as_default=True)
    loop = GLib.MainLoop()
    {"alarms": alarms, "commloss": commloss}[mode](address, control)
    print("done: %d failed checks" % len(failures), flush=True)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
