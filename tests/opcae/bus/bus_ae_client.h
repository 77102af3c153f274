#pragma once
// An AE client of the tests on a private bus, as any bus client would be: generic calls
// with the documented signatures, and exported event and shutdown sinks that record what
// the server sends. Its connection serves its sinks on a thread of its own.
#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opc/bus/remote_shutdown_sink.h"
#include "opcae/bus/ae_bus_names.h"
#include "opcae/bus/ae_bus_values.h"
#include "platform/dbus/bus_errors.h"
#include "platform/dbus/bus_marshal.h"

namespace velk::testing {

using aebus::EventFromBus;

inline constexpr const char* kAeName = "VELK.AlarmEventServer";
inline constexpr const char* kAeFactory = "/VELK/AlarmEventServer";

// One OnEvent call as the client received it.
struct BusSinkCallRecord {
    std::uint32_t clientHandle = 0;
    bool refresh = false;
    bool lastRefresh = false;
    std::vector<OnEventStruct> events;
};

struct BusCallResult {
    std::string errorName;  // empty on success
    HRESULT code = S_OK;    // the carried code of a failure
    BusValue::Items values;
    bool Ok() const { return errorName.empty(); }
};

class AeBusClient {
  public:
    explicit AeBusClient(const std::string& address)
        : connection_(sdbus::createSessionBusConnectionWithAddress(address)) {
        connection_->enterEventLoopAsync();
    }
    ~AeBusClient() { Close(); }
    AeBusClient(const AeBusClient&) = delete;
    AeBusClient& operator=(const AeBusClient&) = delete;

    // Leaves the bus; the server then releases everything of this client.
    void Close() {
        if (!connection_) return;
        connection_->leaveEventLoop();
        objects_.clear();
        proxies_.clear();
        connection_.reset();
    }

    std::string UniqueName() const { return connection_->getUniqueName(); }

    BusCallResult Call(const std::string& path, const std::string& interface,
                       const std::string& method, const BusValue::Items& arguments,
                       const std::string& replySignature) {
        BusCallResult result;
        try {
            sdbus::IProxy& proxy = Proxy(path);
            auto call = proxy.createMethodCall(interface, method);
            if (!WriteBusValues(call, arguments)) {
                result.errorName = "marshal";
                return result;
            }
            auto reply = proxy.callMethod(call, std::chrono::seconds(30));
            if (!ReadBusValues(reply, replySignature, result.values))
                result.errorName = "reply signature";
        } catch (const sdbus::Error& error) {
            result.errorName = error.getName();
            result.code = HresultFromBusError(error.getName(), error.getMessage());
        }
        return result;
    }

    // Sends the call and returns at once; answered() becomes true when its answer is in.
    void Send(const std::string& path, const std::string& interface, const std::string& method,
              const BusValue::Items& arguments, std::shared_ptr<std::atomic<bool>> answered) {
        sdbus::IProxy& proxy = Proxy(path);
        auto call = proxy.createMethodCall(interface, method);
        WriteBusValues(call, arguments);
        proxy.callMethod(
            call, [answered](sdbus::MethodReply&, const sdbus::Error*) { *answered = true; },
            std::chrono::seconds(60));
    }

    // The instance path; "" when the factory refused.
    std::string CreateInstance() {
        auto r = Call(kAeFactory, "VELK.ClassFactory", "CreateInstance", {}, "o");
        return r.Ok() ? *r.values[0].Text() : std::string();
    }

    // Exports an event sink at the path; its calls are recorded (the answer can be held).
    void ExportEventSink(const std::string& path) {
        auto object = sdbus::createObject(*connection_, path);
        object->registerMethod(kIOPCEventSink, "OnEvent", kOnEventSignature, "",
                               [this](sdbus::MethodCall call) {
                                   BusValue::Items args;
                                   BusSinkCallRecord record;
                                   if (ReadBusValues(call, kOnEventSignature, args)) {
                                       record.clientHandle = *args[0].Get<std::uint32_t>();
                                       record.refresh = *args[1].Get<bool>();
                                       record.lastRefresh = *args[2].Get<bool>();
                                       for (const BusValue& e : args[3].Children())
                                           if (auto event = EventFromBus(e))
                                               record.events.push_back(std::move(*event));
                                   }
                                   {
                                       std::unique_lock lock(mutex_);
                                       calls_.push_back(std::move(record));
                                       changed_.notify_all();
                                       changed_.wait(lock, [this] { return !holdSinks_; });
                                   }
                                   call.createReply().send();
                               });
        object->finishRegistration();
        objects_.push_back(std::move(object));
    }

    // Exports a shutdown sink that answers with the code (a failure refuses).
    void ExportShutdownSink(const std::string& path, HRESULT answer) {
        auto object = sdbus::createObject(*connection_, path);
        object->registerMethod(
            kShutdownSinkInterface, "ShutdownRequest", "s", "",
            [this, answer](sdbus::MethodCall call) {
                std::string reason;
                call >> reason;
                {
                    std::lock_guard lock(mutex_);
                    shutdownReasons_.push_back(reason);
                }
                if (Failed(answer)) {
                    call.createErrorReply(sdbus::Error(std::string(kHresultErrorName),
                                                       FormatHresultMessage(answer)))
                        .send();
                    return;
                }
                call.createReply().send();
            });
        object->finishRegistration();
        objects_.push_back(std::move(object));
    }

    // While held, every sink call waits in its handler: the client stops serving its bus.
    void HoldSinks(bool hold) {
        {
            std::lock_guard lock(mutex_);
            holdSinks_ = hold;
        }
        changed_.notify_all();
    }

    std::vector<BusSinkCallRecord> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<OnEventStruct> Events() const {
        std::vector<OnEventStruct> events;
        for (const auto& call : Calls())
            events.insert(events.end(), call.events.begin(), call.events.end());
        return events;
    }
    std::vector<std::string> ShutdownReasons() const {
        std::lock_guard lock(mutex_);
        return shutdownReasons_;
    }
    void ClearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    // Waits until the recorded calls satisfy the condition; false after the patience.
    bool WaitForCalls(const std::function<bool(const std::vector<BusSinkCallRecord>&)>& condition,
                      std::chrono::milliseconds patience = std::chrono::seconds(20)) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, patience, [&] { return condition(calls_); });
    }
    bool WaitForEvents(std::size_t count,
                       std::chrono::milliseconds patience = std::chrono::seconds(20)) const {
        return WaitForCalls(
            [count](const std::vector<BusSinkCallRecord>& calls) {
                std::size_t n = 0;
                for (const auto& c : calls) n += c.events.size();
                return n >= count;
            },
            patience);
    }

  private:
    sdbus::IProxy& Proxy(const std::string& path) {
        for (auto& [p, proxy] : proxies_)
            if (p == path) return *proxy;
        proxies_.emplace_back(path, sdbus::createProxy(*connection_, kAeName, path));
        return *proxies_.back().second;
    }

    std::unique_ptr<sdbus::IConnection> connection_;
    std::vector<std::pair<std::string, std::unique_ptr<sdbus::IProxy>>> proxies_;
    std::vector<std::unique_ptr<sdbus::IObject>> objects_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<BusSinkCallRecord> calls_;
    std::vector<std::string> shutdownReasons_;
    bool holdSinks_ = false;
};

}  // namespace velk::testing
