#pragma once
// How a server class plugs into the bus host: a class creates one object per client, and
// every object describes itself as interfaces with a method table (names, argument and
// result signatures, handlers). Nothing here depends on the bus library, so the DA and AE
// adaptors build without it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dbus/bus_sink_channel.h"
#include "platform/dbus/bus_value.h"
#include "platform/hresult.h"

namespace velk {

class IBusObject;

// The interface that the host adds to every instance and child object.
inline constexpr std::string_view kObjectInterface = "VELK.Object";

// What a method handler may do beyond computing its results; valid only during the call.
class IBusCallScope {
  public:
    virtual ~IBusCallScope() = default;
    // Unique bus name of the caller, which is the owner of the called object.
    virtual const std::string& Caller() const = 0;
    // Path of the called object.
    virtual const std::string& ObjectPath() const = 0;
    // Exports a further object owned by the caller below the called object's path
    // ("<path>/<kind><n>", kind of letters and digits only); returns its path, "" when it
    // cannot be exported. It goes when the caller releases it or leaves the bus.
    virtual std::string ExportChild(std::string_view kind, std::unique_ptr<IBusObject> child) = 0;
    // Withdraws an object of the caller (and everything below it); false when the caller
    // owns no object at that path. The object is destroyed after the current call.
    virtual bool RemoveObject(const std::string& path) = 0;
    // The channel for callbacks to sinks in the caller's own process.
    virtual std::shared_ptr<BusSinkChannel> Sinks() const = 0;
};

struct BusCall {
    IBusCallScope& scope;
    BusValue::Items arguments;  // as the input signature declares
};

// A failed result (negative code) is sent as the "VELK.Error.HRESULT" error with the
// description; otherwise the values are sent, and they must match the output signature.
struct BusReply {
    HRESULT result = S_OK;
    BusValue::Items values;
    std::string description;

    static BusReply Ok(BusValue::Items values = {}) {
        return BusReply{S_OK, std::move(values), {}};
    }
    static BusReply Fail(HRESULT code, std::string description = {}) {
        return BusReply{code, {}, std::move(description)};
    }
};

using BusMethodHandler = std::function<BusReply(BusCall& call)>;

struct BusMethod {
    std::string name;
    std::string inputSignature;
    std::vector<std::string> inputNames;
    std::string outputSignature;
    std::vector<std::string> outputNames;
    BusMethodHandler handler;
    // Runs beside the caller's call in progress instead of after it (a cancel that must reach
    // the call it cancels); such methods run one at a time among themselves.
    bool besideRunningCall = false;
};

struct BusInterface {
    std::string name;  // dotted bus interface name, e.g. "VELK.OPC.IOPCServer"
    std::vector<BusMethod> methods;
};

// An object on the bus. The host reads its interfaces once, when it exports it. Handlers
// run on the calling client's own worker thread: the calls of one client one at a time, in
// the order they were sent (except the methods marked to run beside them), the calls of
// different clients at the same time. An object
// withdrawn during a call is destroyed when that call has ended.
class IBusObject {
  public:
    virtual ~IBusObject() = default;
    virtual std::vector<BusInterface> Interfaces() = 0;
};

// What a class's factory hands out for one client.
struct BusInstanceResult {
    HRESULT result = S_OK;
    std::unique_ptr<IBusObject> object;  // set when result succeeded
};

// The client connection that asks for an instance: its unique bus name and the id of its
// process as the bus reports it (0 when the bus could not tell).
struct BusClient {
    std::string name;
    std::uint32_t pid = 0;
    // "client :1.42 (process 1234)", for the trace.
    std::string Describe() const {
        return "client " + name + (pid ? " (process " + std::to_string(pid) + ")" : "");
    }
};

// A server class: its well-known bus name, the path of its factory object, and the
// creation of one instance per client request.
class IBusClass {
  public:
    virtual ~IBusClass() = default;
    virtual std::string BusName() const = 0;      // e.g. "VELK.ModbusOPCServer"
    virtual std::string FactoryPath() const = 0;  // e.g. "/VELK/ModbusOPCServer"
    // Creates the caller's own instance, on the caller's worker thread (never the bus loop:
    // making a server object may wait for the server list). A failed result is passed to
    // the client as it is.
    virtual BusInstanceResult CreateInstance(const BusClient& client,
                                             std::shared_ptr<BusSinkChannel> sinks) = 0;
    // The interfaces the class's objects call on their clients' sink objects.
    virtual std::vector<std::string> SinkInterfaces() const { return {}; }
};

}  // namespace velk
