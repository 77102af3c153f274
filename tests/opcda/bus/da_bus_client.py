"""A DA client on the bus written only from docs/dbus-api.md, against a running velkopc whose
configuration has the devices Plc1 (the controller simulator) and Slave (a libmodbus slave).

  da_bus_client.py ADDRESS full        every check; exit code 0 when all held, each failed
                                       check printed
  da_bus_client.py ADDRESS subscribe   subscribes a group, prints "subscribed" once data
                                       changes arrive, then serves until it is killed
  da_bus_client.py ADDRESS activate    one instance and one device read, then leaves
  da_bus_client.py ADDRESS deaf        a group of 100,000 items advised to a callback object
                                       that never answers, 100 refreshes of it; prints
                                       "refreshed" and waits until it is killed
"""
import struct
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "VELK.ModbusOPCServer"
FACTORY = "/VELK/ModbusOPCServer"
OPC = "VELK.OPC."
VT_EMPTY, VT_I2, VT_I4, VT_R8, VT_DATE, VT_BSTR, VT_BOOL = 0, 2, 3, 5, 7, 8, 11
OPC_DS_CACHE, OPC_DS_DEVICE = 1, 2
E_FAIL, E_INVALIDARG, E_ACCESSDENIED = 0x80004005, 0x80070057, 0x80070005
OPC_E_UNKNOWNITEMID, OPC_E_INVALID_PID, OPC_E_BADRIGHTS = 0xC0040007, 0xC0040203, 0xC0040006
OPC_S_UNSUPPORTEDRATE, CONNECT_E_NOCONNECTION = 0x0004000D, 0x80040200
failures = []


def check(condition, text):
    if not condition:
        failures.append(text)
        print("FAILED:", text, flush=True)
    return condition


def hresult(error):
    if error.get_dbus_name() != "VELK.Error.HRESULT":
        return None
    return int(error.get_dbus_message()[:10], 16)


def failure_code(call, *args):
    try:
        call(*args)
    except dbus.exceptions.DBusException as error:
        return hresult(error)
    return None


def unsigned(code):
    return int(code) & 0xFFFFFFFF


def wait(loop, condition, seconds=20):
    """Runs the main loop until the condition holds or the time runs out."""
    if condition():
        return True
    state = {"expired": False}

    def poll():
        if condition() or state["expired"]:
            loop.quit()
            return False
        return True

    def expire():
        state["expired"] = True
        return False

    GLib.timeout_add(20, poll)
    GLib.timeout_add_seconds(seconds, expire)
    loop.run()
    return condition()


class DataCallback(dbus.service.Object):
    """The group's IOPCDataCallback sink: records every call."""

    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.changes, self.reads, self.writes, self.cancels = [], [], [], []

    @dbus.service.method(OPC + "IOPCDataCallback", in_signature="uuiiaua(qv)aqatai",
                         out_signature="")
    def OnDataChange(self, tid, group, quality, error, handles, values, qualities, stamps, errors):
        self.changes.append((int(tid), int(group), list(handles), list(values), list(qualities),
                             list(stamps), list(errors)))

    @dbus.service.method(OPC + "IOPCDataCallback", in_signature="uuiiaua(qv)aqatai",
                         out_signature="")
    def OnReadComplete(self, tid, group, quality, error, handles, values, qualities, stamps,
                       errors):
        self.reads.append((int(tid), int(group), list(handles), list(values), list(qualities),
                           list(stamps), list(errors)))

    @dbus.service.method(OPC + "IOPCDataCallback", in_signature="uuiauai", out_signature="")
    def OnWriteComplete(self, tid, group, error, handles, errors):
        self.writes.append((int(tid), int(group), int(error), list(handles), list(errors)))

    @dbus.service.method(OPC + "IOPCDataCallback", in_signature="uu", out_signature="")
    def OnCancelComplete(self, tid, group):
        self.cancels.append((int(tid), int(group)))


class AdviseSink(dbus.service.Object):
    """A 1.0 advise sink: keeps the streams."""

    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.streams = []

    @dbus.service.method(OPC + "IAdviseSink", in_signature="say", out_signature="")
    def OnDataChange(self, format_name, stream):
        self.streams.append((str(format_name), bytes(stream)))


def value_of(variant):
    """A (qv) as (code, python value)."""
    return int(variant[0]), variant[1]


def connect(address):
    DBusGMainLoop(set_as_default=True)
    return dbus.bus.BusConnection(address)


def new_instance(bus):
    factory = bus.get_object(NAME, FACTORY)
    path = factory.CreateInstance(dbus_interface="VELK.ClassFactory")
    return path, bus.get_object(NAME, path)


def add_group(server, name, rate, client_handle, active=True):
    hr, path, server_handle, revised = server.AddGroup(name, active, rate, client_handle, False,
                                                       0, False, 0.0, 0)
    return int(hr), path, int(server_handle), int(revised)


def check_server(bus, instance, path):
    interfaces = [str(i) for i in dbus.Interface(instance, "VELK.Object").GetInterfaces()]
    check(interfaces == ["VELK.Object", OPC + "IOPCServer", OPC + "IOPCCommon",
                         OPC + "IOPCBrowseServerAddressSpace", OPC + "IOPCItemProperties",
                         OPC + "IConnectionPointContainer", "VELK.Server.IDeviceMonitor"],
          "instance interfaces " + repr(interfaces))
    server = dbus.Interface(instance, OPC + "IOPCServer")
    status = server.GetStatus()
    check(int(status[3]) == 1, "server state running")
    check(int(status[1]) >= int(status[0]) > 0, "current time after the start time")
    common = dbus.Interface(instance, OPC + "IOPCCommon")
    check(int(common.GetLocaleID()) == 0x0800, "locale 0x0800")
    check([int(x) for x in common.QueryAvailableLocaleIDs()] == [0x0800], "available locales")
    check(failure_code(common.SetLocaleID, dbus.UInt32(0x0409)) == E_INVALIDARG,
          "SetLocaleID 0x0409 fails with E_INVALIDARG")
    check(failure_code(server.GetErrorString, -2147467259, 0x0800) == E_FAIL,
          "GetErrorString fails with E_FAIL")

    # Another connection may not use this client's instance.
    other = dbus.bus.BusConnection(bus_address)
    foreign = dbus.Interface(other.get_object(NAME, path), OPC + "IOPCServer")
    check(failure_code(foreign.GetStatus) == E_ACCESSDENIED, "another connection is refused")
    other.close()


def check_browse(instance):
    browse = dbus.Interface(instance, OPC + "IOPCBrowseServerAddressSpace")
    check(int(browse.QueryOrganization()) == 1, "hierarchical address space")
    check([str(n) for n in browse.BrowseOPCItemIDs(3, "", 0, 0)] == ["Plc1", "Slave"],
          "flat browse at the root lists the devices")
    check(failure_code(browse.ChangeBrowsePosition, 1, "") == E_FAIL, "up at the root fails")
    browse.ChangeBrowsePosition(2, "plc1")
    leaves = [str(n) for n in browse.BrowseOPCItemIDs(2, "", 0, 0)]
    check(leaves == ["Level", "Setpoint", "Pump", "Temperature"], "leaves of Plc1 " + repr(leaves))
    check([str(n) for n in browse.BrowseOPCItemIDs(1, "", 0, 0)] == ["Area"], "branches of Plc1")
    check(str(browse.GetItemID("Level")) == "Plc1.Level", "item ID of Level")
    check(failure_code(browse.GetItemID, "Flow") == E_INVALIDARG, "Flow is not at Plc1")
    browse.ChangeBrowsePosition(3, "Plc1.Area")
    check(str(browse.GetItemID("Flow")) == "Plc1.Area.Flow", "item ID below a branch")
    check(failure_code(browse.ChangeBrowsePosition, 3, "Plc1.Level") == E_FAIL,
          "browse to a tag fails")
    check(failure_code(browse.BrowseAccessPaths, "Plc1.Level") == 0x80004001,
          "no access paths")


def check_properties(instance):
    props = dbus.Interface(instance, OPC + "IOPCItemProperties")
    ids, descriptions, types = props.QueryAvailableProperties("Plc1.Temperature")
    check([int(i) for i in ids] == [1, 2, 3, 4, 5, 6, 101, 200, 100, 102, 103, 5401, 5400],
          "properties of an analog item")
    check(int(types[1]) == VT_R8, "a scaled item's value is VT_R8")
    ids, _, _ = props.QueryAvailableProperties("Plc1.Level")
    check(len(ids) == 8, "eight properties of an unscaled item")
    data, errors = props.GetItemProperties("Plc1.Temperature", [1, 2, 3, 100, 102, 999])
    check(value_of(data[0]) == (VT_I2, VT_R8), "property 1 is the canonical type")
    # The simulator's input register 0 holds 500, scaled 0..1000 to 0..100.
    check(value_of(data[1]) == (VT_R8, 50.0), "property 2 is the scaled value " + repr(data[1]))
    check(value_of(data[2]) == (VT_I2, 0xC0), "property 3 is a good quality")
    check(value_of(data[3]) == (VT_BSTR, "degC"), "property 100 is the unit")
    check(value_of(data[4]) == (VT_R8, 100.0), "property 102 is the high EU")
    check([unsigned(e) for e in errors] == [0, 0, 0, 0, 0, OPC_E_INVALID_PID],
          "property errors " + repr(errors))
    check(value_of(data[5])[0] == VT_EMPTY, "no value for an unknown property")
    check(failure_code(props.GetItemProperties, "Plc1.Missing", [1]) == OPC_E_UNKNOWNITEMID,
          "properties of an unknown item")
    new_ids, errors = props.LookupItemIDs("Plc1.Level", [2, 3])
    check([str(i) for i in new_ids] == ["Plc1.Level", ""] and unsigned(errors[1]) == E_FAIL,
          "LookupItemIDs")


def check_sync_io(bus, server):
    hr, path, server_handle, revised = add_group(server, "Sync", 5, 11, active=False)
    check(hr == OPC_S_UNSUPPORTEDRATE and revised == 10, "rate 5 is revised to 10")
    check(path.startswith(FACTORY + "/Instance"), "group path " + path)
    group = bus.get_object(NAME, path)
    check(str(server.GetGroupByName("Sync")) == path, "GetGroupByName gives the same object")
    check(failure_code(server.AddGroup, "Sync", True, 100, 0, False, 0, False, 0.0, 0)
          == 0xC004000C, "a duplicate name fails")
    items = dbus.Interface(group, OPC + "IOPCItemMgt")
    hr, results, errors = items.AddItems([
        ("", "Plc1.Level", True, 101, VT_EMPTY), ("", "Plc1.Setpoint", True, 102, VT_EMPTY),
        ("", "Plc1.Pump", True, 103, VT_EMPTY), ("", "Slave.Value", True, 104, VT_EMPTY),
        ("", "Plc1.Area.Flow", True, 105, VT_EMPTY), ("", "Plc1.Nothing", True, 106, VT_EMPTY)])
    check(int(hr) == 1, "AddItems with an unknown item gives S_FALSE")
    check([unsigned(e) for e in errors] == [0, 0, 0, 0, 0, OPC_E_UNKNOWNITEMID],
          "AddItems errors " + repr(errors))
    check([int(r[1]) for r in results[:5]] == [VT_I2, VT_I2, VT_BOOL, VT_I2, VT_I2],
          "canonical types")
    handles = [int(r[0]) for r in results[:5]]
    level, setpoint, pump, value, flow = handles

    sync = dbus.Interface(group, OPC + "IOPCSyncIO")
    hr, states, errors = sync.Read(OPC_DS_CACHE, [level])
    check(int(states[0][2]) == 0x1C, "a cache read of an inactive group is out of service")
    hr, states, errors = sync.Read(OPC_DS_DEVICE, handles)
    check(int(hr) == 0, "device read of all items")
    check([int(s[0]) for s in states] == [101, 102, 103, 104, 105], "client handles")
    check(value_of(states[0][3]) == (VT_I2, 123), "Level from the simulator " + repr(states[0]))
    check(value_of(states[4][3]) == (VT_I2, 55), "Flow from the simulator")
    check(value_of(states[3][3]) == (VT_I2, 9), "Value from the slave " + repr(states[3]))
    check(all(int(s[2]) == 0xC0 for s in states), "good qualities")
    check(all(int(s[1]) > 0 for s in states), "time stamps")

    hr, errors = sync.Write([setpoint, pump, value],
                            [(dbus.UInt16(VT_I2), dbus.Int16(4321)),
                             (dbus.UInt16(VT_BOOL), dbus.Boolean(True)),
                             (dbus.UInt16(VT_I4), dbus.Int32(777))])
    check(int(hr) == 0 and [int(e) for e in errors] == [0, 0, 0], "writes " + repr(errors))
    hr, errors = sync.Write([flow], [(dbus.UInt16(VT_I2), dbus.Int16(1))])
    check(int(hr) == 1 and unsigned(errors[0]) == OPC_E_BADRIGHTS, "a read-only tag is refused")
    check(failure_code(sync.Write, [level], [(dbus.UInt16(VT_I2), dbus.String("x"))])
          == E_INVALIDARG, "a value of the wrong bus type fails the call")
    hr, states, errors = sync.Read(OPC_DS_DEVICE, [setpoint, value])
    check(value_of(states[0][3]) == (VT_I2, 4321) and value_of(states[1][3]) == (VT_I2, 777),
          "written values read back from the devices")

    hr, attributes = items.CreateEnumerator()
    check([str(a[1]) for a in attributes] == ["Level", "Setpoint", "Pump", "Value", "Flow"],
          "item attributes " + repr([str(a[1]) for a in attributes]))

    state = dbus.Interface(group, OPC + "IOPCGroupStateMgt")
    revised = state.SetState(True, 3, False, False, False, 0, False, 0.0, False, 0, False, 0)
    check(int(revised) == 10, "SetState rate 3 revised to 10")
    rate, active, name, _, _, _, client_group, handle = state.GetState()
    check((int(rate), bool(active), str(name), int(client_group), int(handle))
          == (10, False, "Sync", 11, server_handle), "group state")
    server.RemoveGroup(server_handle, False)
    check(failure_code(server.GetGroupByName, "Sync") == E_INVALIDARG, "removed group is gone")
    # The object stays until the client releases it.
    check(int(state.GetState()[0]) == 10, "a removed group answers while it is held")
    dbus.Interface(group, "VELK.Object").Release()


def check_async_and_changes(bus, server, loop):
    sink = DataCallback(bus, "/Client/Callback")
    hr, path, server_handle, revised = add_group(server, "", 100, 21)
    check(hr == 0 and revised == 100, "AddGroup at 100 ms")
    group = bus.get_object(NAME, path)
    points = dbus.Interface(group, OPC + "IConnectionPointContainer")
    check(failure_code(points.Advise, OPC + "IOPCShutdown", "/Client/Callback")
          == CONNECT_E_NOCONNECTION, "a group has no shutdown connection point")
    cookie = points.Advise(OPC + "IOPCDataCallback", dbus.ObjectPath("/Client/Callback"))
    items = dbus.Interface(group, OPC + "IOPCItemMgt")
    hr, results, errors = items.AddItems([("", "Plc1.Level", True, 201, VT_EMPTY),
                                          ("", "Slave.Value", True, 202, VT_EMPTY)])
    level, value = [int(r[0]) for r in results]

    # ChangelessUpdate is on: every cycle reports every active item, changed or not.
    check(wait(loop, lambda: len([c for c in sink.changes if c[0] == 0]) >= 5),
          "data changes at the group rate")
    changes = [c for c in sink.changes if c[0] == 0]
    check(all(c[1] == 21 for c in changes), "data changes carry the client group handle")
    check(all(sorted(c[2]) == [201, 202] for c in changes[1:5]),
          "each data change carries both items " + repr([c[2] for c in changes[:5]]))

    async2 = dbus.Interface(group, OPC + "IOPCAsyncIO2")
    cancel, errors = async2.Read([level, value], 55)
    check(int(cancel) > 0 and [int(e) for e in errors] == [0, 0], "asynchronous read started")
    check(wait(loop, lambda: any(r[0] == 55 for r in sink.reads)), "OnReadComplete arrives")
    read = [r for r in sink.reads if r[0] == 55][0]
    by_handle = dict(zip(read[2], read[3]))
    check(value_of(by_handle.get(201, (0, 0))) == (VT_I2, 123), "read completion value")

    cancel, errors = async2.Write([value, 999], [(dbus.UInt16(VT_I2), dbus.Int16(-5)),
                                                 (dbus.UInt16(VT_I2), dbus.Int16(1))], 66)
    check(wait(loop, lambda: any(w[0] == 66 for w in sink.writes)), "OnWriteComplete arrives")
    write = [w for w in sink.writes if w[0] == 66][0]
    check(write[2] == 1 and write[3] == [202, 0], "write completion " + repr(write))
    check(unsigned(write[4][0]) == 0 and unsigned(write[4][1]) == 0xC0040001,
          "write completion errors")

    count = len(sink.changes)
    async2.Refresh2(OPC_DS_DEVICE, 77)
    check(wait(loop, lambda: any(c[0] == 77 for c in sink.changes)),
          "a refresh arrives as a data change with its transaction ID")
    async2.SetEnable(False)
    check(async2.GetEnable() == False, "callbacks disabled")
    points.Unadvise(OPC + "IOPCDataCallback", cookie)
    check(failure_code(points.Unadvise, OPC + "IOPCDataCallback", cookie)
          == CONNECT_E_NOCONNECTION, "a cookie unadvised twice")
    del count

    # The 1.0 way: a data stream with time stamps, and a synchronous GetData.
    advise = AdviseSink(bus, "/Client/Advise")
    async2.SetEnable(True)
    data = dbus.Interface(group, OPC + "IDataObject")
    check(failure_code(data.DAdvise, "OPCSTMFORMATDATATIME", 1, 0, 1, 0, "/Client/Advise")
          == E_FAIL, "DAdvise with index 0 fails")
    connection = data.DAdvise("OPCSTMFORMATDATATIME", 1, -1, 1, 0,
                              dbus.ObjectPath("/Client/Advise"))
    check(wait(loop, lambda: len(advise.streams) >= 2), "1.0 data streams arrive")
    name, stream = advise.streams[-1]
    size, count, client_group, tid, status = struct.unpack_from("<IIIIi", stream, 0)
    check(name == "OPCSTMFORMATDATATIME" and size == len(stream) and client_group == 21,
          "stream header " + repr((name, size, len(stream), client_group)))
    check(count == 2, "the stream carries both items")
    connections = data.EnumDAdvise()
    check([(int(c[0]), str(c[1]), str(c[2])) for c in connections]
          == [(int(connection), "OPCSTMFORMATDATATIME", "/Client/Advise")], "EnumDAdvise")
    data.QueryGetData("OPCSTMFORMATDATA", 1)
    check(failure_code(data.QueryGetData, "CF_TEXT", 1) == 0x80040064, "unknown format")
    data.DUnadvise(connection)
    dbus.Interface(group, "VELK.Object").Release()
    server.RemoveGroup(server_handle, False)


def full(address):
    global bus_address
    bus_address = address
    bus = connect(address)
    loop = GLib.MainLoop()
    path, instance = new_instance(bus)
    server = dbus.Interface(instance, OPC + "IOPCServer")
    check_server(bus, instance, path)
    check_browse(instance)
    check_properties(instance)
    check_sync_io(bus, server)
    check_async_and_changes(bus, server, loop)
    monitor = dbus.Interface(instance, "VELK.Server.IDeviceMonitor").GetDeviceMonitor()
    check([str(d[0]) for d in monitor] == ["Plc1", "Slave"], "Device Monitor devices")
    sent = [int(r[1]) for r in monitor[0][4] if str(r[0]) == "Sent messages:"]
    check(sent and sent[0] > 0, "messages sent to Plc1 " + repr(sent))
    dbus.Interface(instance, "VELK.Object").Release()
    return 1 if failures else 0


def subscribe(address):
    bus = connect(address)
    loop = GLib.MainLoop()
    path, instance = new_instance(bus)
    server = dbus.Interface(instance, OPC + "IOPCServer")
    sink = DataCallback(bus, "/Client/Callback")
    hr, group_path, handle, revised = add_group(server, "Watch", 50, 1)
    group = bus.get_object(NAME, group_path)
    dbus.Interface(group, OPC + "IConnectionPointContainer").Advise(
        OPC + "IOPCDataCallback", dbus.ObjectPath("/Client/Callback"))
    dbus.Interface(group, OPC + "IOPCItemMgt").AddItems(
        [("", "Plc1.Level", True, 1, VT_EMPTY), ("", "Slave.Value", True, 2, VT_EMPTY)])
    if not wait(loop, lambda: len(sink.changes) >= 2):
        return 1
    print("subscribed", flush=True)
    loop.run()
    return 0


def activate(address):
    bus = connect(address)
    path, instance = new_instance(bus)
    server = dbus.Interface(instance, OPC + "IOPCServer")
    hr, group_path, handle, revised = add_group(server, "", 100, 1)
    group = bus.get_object(NAME, group_path)
    hr, results, errors = dbus.Interface(group, OPC + "IOPCItemMgt").AddItems(
        [("", "Plc1.Level", True, 1, VT_EMPTY)])
    hr, states, errors = dbus.Interface(group, OPC + "IOPCSyncIO").Read(
        OPC_DS_DEVICE, [int(results[0][0])])
    check(value_of(states[0][3]) == (VT_I2, 123), "device read by an activated server")
    print("read", flush=True)
    bus.close()
    return 1 if failures else 0


def deaf(address):
    # The sink object is exported, but the main loop never runs: no callback is answered.
    bus = connect(address)
    path, instance = new_instance(bus)
    server = dbus.Interface(instance, OPC + "IOPCServer")
    sink = DataCallback(bus, "/Client/Callback")
    hr, group_path, handle, revised = add_group(server, "Deaf", 1000, 1)
    group = bus.get_object(NAME, group_path)
    items = dbus.Interface(group, OPC + "IOPCItemMgt")
    for _ in range(5):
        items.AddItems([("", "Plc1.Level", True, 1, VT_EMPTY)] * 20000, timeout=120)
    dbus.Interface(group, OPC + "IConnectionPointContainer").Advise(
        OPC + "IOPCDataCallback", dbus.ObjectPath("/Client/Callback"))
    async_io = dbus.Interface(group, OPC + "IOPCAsyncIO2")
    refused = 0
    for tid in range(1, 101):
        if failure_code(async_io.Refresh2, OPC_DS_CACHE, tid) is not None:
            refused += 1
    print("refreshed", 100 - refused, "refused", refused, "sink", len(sink.changes), flush=True)
    GLib.usleep(600 * 1000 * 1000)
    return 0


bus_address = ""

if __name__ == "__main__":
    mode = sys.argv[2]
    sys.exit({"full": full, "subscribe": subscribe, "activate": activate,
              "deaf": deaf}[mode](sys.argv[1]))
