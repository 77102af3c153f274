#include "tools/client/bus/da_sinks.h"

#include <vector>

#include "tools/client/bus/bus_value_codec.h"

namespace velk::client {
namespace {

DataChange Collect(std::uint32_t transactionId, std::uint32_t group, std::int32_t masterQuality,
                   std::int32_t masterError, const std::vector<std::uint32_t>& handles,
                   const std::vector<BusVariant>& values,
                   const std::vector<std::uint16_t>& qualities,
                   const std::vector<std::uint64_t>& timestamps,
                   const std::vector<std::int32_t>& errors) {
    DataChange change{transactionId, group, masterQuality, masterError, {}};
    // The arrays have one entry per item; a shorter one gives defaults rather than a crash.
    for (std::size_t i = 0; i < handles.size(); ++i) {
        change.items.push_back(
            {handles[i], i < values.size() ? FromBus(values[i]) : ClientValue::Empty(),
             i < qualities.size() ? qualities[i] : std::uint16_t{0},
             i < timestamps.size() ? timestamps[i] : 0, i < errors.size() ? errors[i] : 0});
    }
    return change;
}

}  // namespace

DataCallbackSink::DataCallbackSink(BusSession& session, Handler onDataChange,
                                   Handler onReadComplete)
    : path_(session.NewObjectPath("DataCallback")),
      object_(sdbus::createObject(session.Connection(), path_)) {
    auto dataChange =
        [handler = std::move(onDataChange)](
            std::uint32_t transactionId, std::uint32_t group, std::int32_t masterQuality,
            std::int32_t masterError, const std::vector<std::uint32_t>& handles,
            const std::vector<BusVariant>& values, const std::vector<std::uint16_t>& qualities,
            const std::vector<std::uint64_t>& timestamps, const std::vector<std::int32_t>& errors) {
            if (handler) {
                handler(Collect(transactionId, group, masterQuality, masterError, handles, values,
                                qualities, timestamps, errors));
            }
        };
    auto readComplete =
        [handler = std::move(onReadComplete)](
            std::uint32_t transactionId, std::uint32_t group, std::int32_t masterQuality,
            std::int32_t masterError, const std::vector<std::uint32_t>& handles,
            const std::vector<BusVariant>& values, const std::vector<std::uint16_t>& qualities,
            const std::vector<std::uint64_t>& timestamps, const std::vector<std::int32_t>& errors) {
            if (handler) {
                handler(Collect(transactionId, group, masterQuality, masterError, handles, values,
                                qualities, timestamps, errors));
            }
        };
    object_->registerMethod("OnDataChange")
        .onInterface(kDataCallbackInterface)
        .implementedAs(std::move(dataChange));
    object_->registerMethod("OnReadComplete")
        .onInterface(kDataCallbackInterface)
        .implementedAs(std::move(readComplete));
    object_->registerMethod("OnWriteComplete")
        .onInterface(kDataCallbackInterface)
        .implementedAs([](std::uint32_t, std::uint32_t, std::int32_t,
                          const std::vector<std::uint32_t>&, const std::vector<std::int32_t>&) {});
    object_->registerMethod("OnCancelComplete")
        .onInterface(kDataCallbackInterface)
        .implementedAs([](std::uint32_t, std::uint32_t) {});
    object_->finishRegistration();
}

ShutdownSink::ShutdownSink(BusSession& session,
                           std::function<void(const std::string& reason)> onRequest)
    : path_(session.NewObjectPath("Shutdown")),
      object_(sdbus::createObject(session.Connection(), path_)) {
    object_->registerMethod("ShutdownRequest")
        .onInterface(kShutdownInterface)
        .implementedAs([handler = std::move(onRequest)](const std::string& reason) {
            if (handler) handler(reason);
        });
    object_->finishRegistration();
}

}  // namespace velk::client
