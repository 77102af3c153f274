#include "tools/client/bus/da_group.h"

#include "tools/client/bus/bus_call_error.h"
#include "tools/client/bus/bus_value_codec.h"
#include "tools/client/bus/connection_points.h"

namespace velk::client {
namespace {

constexpr const char* kItemMgt = "VELK.OPC.IOPCItemMgt";
constexpr const char* kSyncIO = "VELK.OPC.IOPCSyncIO";

using BusItemDefinition =
    sdbus::Struct<std::string, std::string, bool, std::uint32_t, std::uint16_t>;
using BusItemResult = sdbus::Struct<std::uint32_t, std::uint16_t, std::uint32_t>;
using BusItemState = sdbus::Struct<std::uint32_t, std::uint64_t, std::uint16_t, BusVariant>;

}  // namespace

DaGroup::DaGroup(DaServer& server, bool active, std::uint32_t updateRate, std::uint32_t clientGroup)
    : server_(server), created_(server.AddGroup("", active, updateRate, clientGroup)) {
    proxy_ = server.Session().Proxy(kDaBusName, created_.path);
}

DaGroup::~DaGroup() {
    try {
        Close();
    } catch (const std::exception&) {
        // The server or the bus has gone, and the group with it.
    }
}

void DaGroup::Close() {
    if (!proxy_) return;
    auto proxy = std::move(proxy_);
    server_.RemoveGroup(created_.serverHandle);
    Guarded(kDaBusName, "Object.Release",
            [&] { proxy->callMethod("Release").onInterface("VELK.Object"); });
}

AddItemsOutcome DaGroup::AddItems(const std::vector<ItemDefinition>& items) {
    std::vector<BusItemDefinition> definitions;
    for (const ItemDefinition& item : items) {
        definitions.emplace_back(std::string(), item.itemId, item.active, item.clientHandle,
                                 item.requestedType);
    }
    std::vector<BusItemResult> results;
    AddItemsOutcome outcome;
    Guarded(kDaBusName, "IOPCItemMgt.AddItems", [&] {
        proxy_->callMethod("AddItems")
            .onInterface(kItemMgt)
            .withArguments(definitions)
            .storeResultsTo(outcome.result, results, outcome.errors);
    });
    for (const BusItemResult& result : results) {
        outcome.items.push_back({result.get<0>(), result.get<1>(), result.get<2>()});
    }
    return outcome;
}

ReadOutcome DaGroup::Read(std::uint32_t source, const std::vector<std::uint32_t>& serverHandles) {
    std::vector<BusItemState> states;
    ReadOutcome outcome;
    Guarded(kDaBusName, "IOPCSyncIO.Read", [&] {
        proxy_->callMethod("Read")
            .onInterface(kSyncIO)
            .withArguments(source, serverHandles)
            .storeResultsTo(outcome.result, states, outcome.errors);
    });
    for (const BusItemState& state : states) {
        outcome.states.push_back(
            {state.get<0>(), state.get<1>(), state.get<2>(), FromBus(state.get<3>())});
    }
    return outcome;
}

WriteOutcome DaGroup::Write(const std::vector<std::uint32_t>& serverHandles,
                            const std::vector<ClientValue>& values) {
    std::vector<BusVariant> busValues;
    for (const ClientValue& value : values) busValues.push_back(ToBus(value));
    WriteOutcome outcome;
    Guarded(kDaBusName, "IOPCSyncIO.Write", [&] {
        proxy_->callMethod("Write")
            .onInterface(kSyncIO)
            .withArguments(serverHandles, busValues)
            .storeResultsTo(outcome.result, outcome.errors);
    });
    return outcome;
}

std::uint32_t DaGroup::Advise(const std::string& sinkInterface, const std::string& sinkPath) {
    return AdviseSink(*proxy_, kDaBusName, sinkInterface, sinkPath);
}

void DaGroup::Unadvise(const std::string& sinkInterface, std::uint32_t cookie) {
    UnadviseSink(*proxy_, kDaBusName, sinkInterface, cookie);
}

}  // namespace velk::client
