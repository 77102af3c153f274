#include "opcda/bus/da_group_bus_object.h"

#include <functional>

#include "core/trace_file.h"
#include "opc/bus/argument_limits.h"
#include "opc/bus/connection_point_container.h"
#include "opcda/bus/bus_variant.h"
#include "opcda/bus/stream_formats.h"
#include "opcda/c_enum_item_attributes.h"
#include "opcda/opc_group.h"
#include "platform/dbus/bus_call_arguments.h"

namespace velk {

using namespace dabus;

namespace {

constexpr const char* kItemMgt = "VELK.OPC.IOPCItemMgt";
constexpr const char* kStateMgt = "VELK.OPC.IOPCGroupStateMgt";
constexpr const char* kPublicStateMgt = "VELK.OPC.IOPCPublicGroupStateMgt";
constexpr const char* kSyncIO = "VELK.OPC.IOPCSyncIO";
constexpr const char* kAsyncIO = "VELK.OPC.IOPCAsyncIO";
constexpr const char* kAsyncIO2 = "VELK.OPC.IOPCAsyncIO2";
constexpr const char* kDataObject = "VELK.OPC.IDataObject";

constexpr const char* kItemDefinitions = "a(ssbuq)";
constexpr const char* kItemResults = "a(uqu)";
constexpr std::size_t kAttributeBatch = 256;

std::vector<OPCITEMDEF> ItemDefinitionsOf(const BusValue& array) {
    std::vector<OPCITEMDEF> items;
    items.reserve(array.Children().size());
    for (const BusValue& entry : array.Children()) {
        const BusValue::Items& f = entry.Children();
        OPCITEMDEF def;
        def.accessPath = *f[0].Text();
        def.itemID = *f[1].Text();
        def.active = *f[2].Get<bool>();
        def.hClient = *f[3].Get<std::uint32_t>();
        def.requestedDataType = *f[4].Get<std::uint16_t>();
        items.push_back(std::move(def));
    }
    return items;
}

BusValue ItemResults(const std::vector<OPCITEMRESULT>& results) {
    BusValue::Items elements;
    elements.reserve(results.size());
    for (const OPCITEMRESULT& r : results) {
        elements.push_back(
            BusValue::Struct({BusValue::UInt32(r.hServer), BusValue::UInt16(r.canonicalDataType),
                              BusValue::UInt32(r.accessRights)}));
    }
    return BusValue::Array("(uqu)", std::move(elements));
}

BusValue ItemStates(const std::vector<OPCITEMSTATE>& states) {
    BusValue::Items elements;
    elements.reserve(states.size());
    for (const OPCITEMSTATE& s : states) {
        elements.push_back(
            BusValue::Struct({BusValue::UInt32(s.hClient), BusValue::UInt64(s.timestamp),
                              BusValue::UInt16(s.quality), VariantToBus(s.value)}));
    }
    return BusValue::Array("(utq(qv))", std::move(elements));
}

BusValue ItemAttributes(const std::vector<OPCITEMATTRIBUTES>& attributes) {
    BusValue::Items elements;
    elements.reserve(attributes.size());
    for (const OPCITEMATTRIBUTES& a : attributes) {
        elements.push_back(BusValue::Struct(
            {BusValue::String(a.accessPath), BusValue::String(a.itemID), BusValue::Bool(a.active),
             BusValue::UInt32(a.hClient), BusValue::UInt32(a.hServer),
             BusValue::UInt32(a.accessRights), BusValue::UInt16(a.requestedDataType),
             BusValue::UInt16(a.canonicalDataType), BusValue::UInt32(a.euType),
             OpcValueToBus(a.euInfo)}));
    }
    return BusValue::Array("(ssbuuuqqu(qv))", std::move(elements));
}

// A FORMATETC as the client names it: the format by name, never a target device.
FORMATETC FormatOf(const std::string& name, std::uint32_t aspect, std::int32_t index,
                   std::uint32_t tymed) {
    FORMATETC format;
    format.cfFormat = StreamFormatOf(name);
    format.aspect = aspect;
    format.index = index;
    format.tymed = tymed;
    return format;
}

// Arguments refused here, before the group sees them, are traced as the group traces its
// own results, so that the trace has a line for every call.
BusReply Refused(const char* method, const char* description) {
    TraceResult(std::string("Called ") + method, E_INVALIDARG, true);
    return BusReply::Fail(E_INVALIDARG, description);
}

BusReply NotImplemented(HRESULT (OPCGroup::*method)(), OPCGroup& group) {
    return ReplyOf((group.*method)());
}

}  // namespace

DaGroupBusObject::DaGroupBusObject(DaBusContext context, std::shared_ptr<OPCGroup> group)
    : context_(std::move(context)), group_(std::move(group)) {}

DaGroupBusObject::~DaGroupBusObject() {
    context_.groupObjects->Leave(group_.get(), this);
    // Unadvise waits for a notification that the group is sending at this moment; a 1.0
    // stream on its way keeps its sink until it is sent.
    for (std::uint32_t cookie : callbacks_) group_->UnadviseCallback(cookie);
    for (std::uint32_t connection : advises_) group_->DUnadvise(connection);
    context_.releases->Release(std::move(group_));
}

std::vector<BusInterface> DaGroupBusObject::Interfaces() {
    return WithArgumentLimits({ItemMgt(), StateMgt(), PublicStateMgt(), SyncIO(), AsyncIO(),
                               AsyncIO2(), DataObject(), ConnectionPoints()});
}

BusInterface DaGroupBusObject::ItemMgt() {
    return {
        kItemMgt,
        {{"AddItems",
          kItemDefinitions,
          {"items"},
          std::string("i") + kItemResults + "ai",
          {"hresult", "results", "errors"},
          [this](BusCall& c) { return AddOrValidateItems(c, false); }},
         {"ValidateItems",
          std::string(kItemDefinitions) + "b",
          {"items", "blobUpdate"},
          std::string("i") + kItemResults + "ai",
          {"hresult", "results", "errors"},
          [this](BusCall& c) { return AddOrValidateItems(c, true); }},
         {"RemoveItems",
          "au",
          {"serverHandles"},
          "iai",
          {"hresult", "errors"},
          [this](BusCall& c) {
              std::vector<HRESULT> errors;
              HRESULT hr = group_->RemoveItems(UInt32sOf(c.arguments[0]), errors);
              return ReplyWithCode(hr, {HresultArray(errors)});
          }},
         {"SetActiveState",
          "aub",
          {"serverHandles", "active"},
          "iai",
          {"hresult", "errors"},
          [this](BusCall& c) {
              std::vector<HRESULT> errors;
              HRESULT hr = group_->SetActiveState(UInt32sOf(c.arguments[0]), BoolArg(c, 1), errors);
              return ReplyWithCode(hr, {HresultArray(errors)});
          }},
         {"SetClientHandles",
          "auau",
          {"serverHandles", "clientHandles"},
          "iai",
          {"hresult", "errors"},
          [this](BusCall& c) {
              auto handles = UInt32sOf(c.arguments[0]);
              auto clients = UInt32sOf(c.arguments[1]);
              if (handles.size() != clients.size()) {
                  return Refused("IOPCItemMgt::SetClientHandles", "handle counts differ");
              }
              std::vector<HRESULT> errors;
              HRESULT hr = group_->SetClientHandles(handles, clients, errors);
              return ReplyWithCode(hr, {HresultArray(errors)});
          }},
         {"SetDatatypes",
          "auaq",
          {"serverHandles", "requestedDatatypes"},
          "iai",
          {"hresult", "errors"},
          [this](BusCall& c) {
              auto handles = UInt32sOf(c.arguments[0]);
              auto types = UInt16sOf(c.arguments[1]);
              if (handles.size() != types.size()) {
                  return Refused("IOPCItemMgt::SetDatatypes", "handle and type counts differ");
              }
              std::vector<HRESULT> errors;
              HRESULT hr = group_->SetDatatypes(handles, types, errors);
              return ReplyWithCode(hr, {HresultArray(errors)});
          }},
         {"CreateEnumerator", "", {}, "ia(ssbuuuqqu(qv))", {"hresult", "items"}, [this](BusCall&) {
              return CreateEnumerator();
          }}}};
}

BusReply DaGroupBusObject::AddOrValidateItems(BusCall& call, bool validate) {
    std::vector<OPCITEMDEF> items = ItemDefinitionsOf(call.arguments[0]);
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    HRESULT hr = validate ? group_->ValidateItems(items, BoolArg(call, 1), results, errors)
                          : group_->AddItems(items, results, errors);
    return ReplyWithCode(hr, {ItemResults(results), HresultArray(errors)});
}

BusReply DaGroupBusObject::CreateEnumerator() {
    std::unique_ptr<CEnumItemAttributes> enumerator;
    HRESULT hr = group_->CreateEnumerator(&enumerator);
    if (Failed(hr)) return BusReply::Fail(hr);
    std::vector<OPCITEMATTRIBUTES> all;
    while (true) {
        std::vector<OPCITEMATTRIBUTES> batch;
        HRESULT next = enumerator->Next(kAttributeBatch, batch);
        all.insert(all.end(), batch.begin(), batch.end());
        if (next != S_OK || batch.empty()) break;
    }
    return ReplyWithCode(hr, {ItemAttributes(all)});
}

BusInterface DaGroupBusObject::StateMgt() {
    return {kStateMgt,
            {{"GetState",
              "",
              {},
              "ubsiduuu",
              {"updateRate", "active", "name", "timeBias", "percentDeadband", "lcid",
               "hClientGroup", "hServerGroup"},
              [this](BusCall&) {
                  std::uint32_t rate = 0, lcid = 0, hClient = 0, hServer = 0;
                  bool active = false;
                  std::string name;
                  std::int32_t bias = 0;
                  float deadband = 0;
                  HRESULT hr = group_->GetState(&rate, &active, &name, &bias, &deadband, &lcid,
                                                &hClient, &hServer);
                  return ReplyOf(hr, {BusValue::UInt32(rate), BusValue::Bool(active),
                                      BusValue::String(name), BusValue::Int32(bias),
                                      BusValue::Double(deadband), BusValue::UInt32(lcid),
                                      BusValue::UInt32(hClient), BusValue::UInt32(hServer)});
              }},
             {"SetState",
              "bubbbibdbubu",
              {"setUpdateRate", "requestedUpdateRate", "setActive", "active", "setTimeBias",
               "timeBias", "setPercentDeadband", "percentDeadband", "setLcid", "lcid",
               "setClientGroup", "hClientGroup"},
              "u",
              {"revisedUpdateRate"},
              [this](BusCall& c) { return SetState(c); }},
             {"SetName",
              "s",
              {"name"},
              "",
              {},
              [this](BusCall& c) { return ReplyOf(group_->SetName(&TextArg(c, 0))); }},
             {"CloneGroup", "s", {"name"}, "o", {"group"}, [this](BusCall& c) {
                  return CloneGroup(c);
              }}}};
}

BusReply DaGroupBusObject::SetState(BusCall& call) {
    const std::uint32_t rate = UInt32Arg(call, 1);
    const bool active = BoolArg(call, 3);
    const std::int32_t bias = Int32Arg(call, 5);
    const float deadband = static_cast<float>(DoubleArg(call, 7));
    const std::uint32_t lcid = UInt32Arg(call, 9);
    const std::uint32_t hClient = UInt32Arg(call, 11);
    std::uint32_t revised = 0;
    HRESULT hr = group_->SetState(
        BoolArg(call, 0) ? &rate : nullptr, &revised, BoolArg(call, 2) ? &active : nullptr,
        BoolArg(call, 4) ? &bias : nullptr, BoolArg(call, 6) ? &deadband : nullptr,
        BoolArg(call, 8) ? &lcid : nullptr, BoolArg(call, 10) ? &hClient : nullptr);
    if (Failed(hr)) return BusReply::Fail(hr);
    if (!BoolArg(call, 0)) {
        // Without a new rate the revised rate is the group's rate as it stands.
        group_->GetState(&revised, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    return BusReply::Ok({BusValue::UInt32(revised)});
}

BusReply DaGroupBusObject::CloneGroup(BusCall& call) {
    const std::string& name = TextArg(call, 0);
    std::shared_ptr<OPCGroup> clone;
    HRESULT hr = group_->CloneGroup(name.empty() ? nullptr : &name, &clone);
    if (Failed(hr)) return BusReply::Fail(hr);
    std::string path = ExportGroupObject(call.scope, context_, clone);
    if (path.empty()) return BusReply::Fail(E_FAIL, "the group could not be exported");
    return BusReply::Ok({BusValue::ObjectPath(path)});
}

BusInterface DaGroupBusObject::PublicStateMgt() {
    return {kPublicStateMgt,
            {{"GetState",
              "",
              {},
              "b",
              {"public"},
              [this](BusCall&) {
                  bool isPublic = false;
                  HRESULT hr = group_->GetPublicState(&isPublic);
                  return ReplyOf(hr, {BusValue::Bool(isPublic)});
              }},
             {"MoveToPublic", "", {}, "", {}, [this](BusCall&) {
                  return ReplyOf(group_->MoveToPublic());
              }}}};
}

BusInterface DaGroupBusObject::SyncIO() {
    return {kSyncIO,
            {{"Read",
              "uau",
              {"source", "serverHandles"},
              "ia(utq(qv))ai",
              {"hresult", "itemStates", "errors"},
              [this](BusCall& c) { return Read(c); }},
             {"Write",
              "aua(qv)",
              {"serverHandles", "values"},
              "iai",
              {"hresult", "errors"},
              [this](BusCall& c) { return Write(c); }}}};
}

BusReply DaGroupBusObject::Read(BusCall& call) {
    std::vector<OPCITEMSTATE> states;
    std::vector<HRESULT> errors;
    HRESULT hr = group_->Read(UInt32Arg(call, 0), UInt32sOf(call.arguments[1]), states, errors);
    return ReplyWithCode(hr, {ItemStates(states), HresultArray(errors)});
}

BusReply DaGroupBusObject::Write(BusCall& call) {
    auto handles = UInt32sOf(call.arguments[0]);
    auto values = VariantsFromBus(call.arguments[1]);
    if (!values) return Refused("IOPCSyncIO::Write", "a value of a type that cannot be written");
    if (values->size() != handles.size()) {
        return Refused("IOPCSyncIO::Write", "handle and value counts differ");
    }
    std::vector<HRESULT> errors;
    HRESULT hr = group_->Write(handles, *values, errors);
    return ReplyWithCode(hr, {HresultArray(errors)});
}

BusInterface DaGroupBusObject::AsyncIO() {
    return {kAsyncIO,
            {{"Read",
              "uuau",
              {"connection", "source", "serverHandles"},
              "uai",
              {"transactionID", "errors"},
              [this](BusCall& c) {
                  std::uint32_t transaction = 0;
                  std::vector<HRESULT> errors;
                  HRESULT hr = group_->AsyncRead(UInt32Arg(c, 0), UInt32Arg(c, 1),
                                                 UInt32sOf(c.arguments[2]), &transaction, errors);
                  return ReplyOf(hr, {BusValue::UInt32(transaction), HresultArray(errors)});
              }},
             {"Write",
              "uaua(qv)",
              {"connection", "serverHandles", "values"},
              "uai",
              {"transactionID", "errors"},
              [this](BusCall& c) {
                  auto handles = UInt32sOf(c.arguments[1]);
                  auto values = VariantsFromBus(c.arguments[2]);
                  if (!values || values->size() != handles.size()) {
                      return Refused("IOPCAsyncIO::Write", "values do not match the handles");
                  }
                  std::uint32_t transaction = 0;
                  std::vector<HRESULT> errors;
                  HRESULT hr =
                      group_->AsyncWrite(UInt32Arg(c, 0), handles, *values, &transaction, errors);
                  return ReplyOf(hr, {BusValue::UInt32(transaction), HresultArray(errors)});
              }},
             {"Refresh",
              "uu",
              {"connection", "source"},
              "u",
              {"transactionID"},
              [this](BusCall& c) {
                  std::uint32_t transaction = 0;
                  HRESULT hr = group_->AsyncRefresh(UInt32Arg(c, 0), UInt32Arg(c, 1), &transaction);
                  return ReplyOf(hr, {BusValue::UInt32(transaction)});
              }},
             {"Cancel", "u", {"transactionID"}, "", {}, [this](BusCall& c) {
                  return ReplyOf(group_->AsyncCancel(UInt32Arg(c, 0)));
              }}}};
}

BusInterface DaGroupBusObject::AsyncIO2() {
    return {kAsyncIO2,
            {{"Read",
              "auu",
              {"serverHandles", "transactionID"},
              "uai",
              {"cancelID", "errors"},
              [this](BusCall& c) {
                  std::uint32_t cancel = 0;
                  std::vector<HRESULT> errors;
                  HRESULT hr =
                      group_->Read2(UInt32sOf(c.arguments[0]), UInt32Arg(c, 1), &cancel, errors);
                  return ReplyOf(hr, {BusValue::UInt32(cancel), HresultArray(errors)});
              }},
             {"Write",
              "aua(qv)u",
              {"serverHandles", "values", "transactionID"},
              "uai",
              {"cancelID", "errors"},
              [this](BusCall& c) {
                  auto handles = UInt32sOf(c.arguments[0]);
                  auto values = VariantsFromBus(c.arguments[1]);
                  if (!values || values->size() != handles.size()) {
                      return Refused("IOPCAsyncIO2::Write", "values do not match the handles");
                  }
                  std::uint32_t cancel = 0;
                  std::vector<HRESULT> errors;
                  HRESULT hr = group_->Write2(handles, *values, UInt32Arg(c, 2), &cancel, errors);
                  return ReplyOf(hr, {BusValue::UInt32(cancel), HresultArray(errors)});
              }},
             {"Refresh2",
              "uu",
              {"source", "transactionID"},
              "u",
              {"cancelID"},
              [this](BusCall& c) {
                  std::uint32_t cancel = 0;
                  HRESULT hr = group_->Refresh2(UInt32Arg(c, 0), UInt32Arg(c, 1), &cancel);
                  return ReplyOf(hr, {BusValue::UInt32(cancel)});
              }},
             {"Cancel2",
              "u",
              {"cancelID"},
              "",
              {},
              [this](BusCall& c) { return ReplyOf(group_->Cancel2(UInt32Arg(c, 0))); }},
             {"SetEnable",
              "b",
              {"enable"},
              "",
              {},
              [this](BusCall& c) { return ReplyOf(group_->SetEnable(BoolArg(c, 0))); }},
             {"GetEnable", "", {}, "b", {"enable"}, [this](BusCall&) {
                  bool enable = false;
                  HRESULT hr = group_->GetEnable(&enable);
                  return ReplyOf(hr, {BusValue::Bool(enable)});
              }}}};
}

BusInterface DaGroupBusObject::DataObject() {
    OPCGroup& g = *group_;
    return {
        kDataObject,
        {{"DAdvise",
          "suiuuo",
          {"format", "aspect", "index", "tymed", "advf", "sink"},
          "u",
          {"connection"},
          [this](BusCall& c) { return DAdvise(c); }},
         {"DUnadvise", "u", {"connection"}, "", {}, [this](BusCall& c) { return DUnadvise(c); }},
         {"EnumDAdvise",
          "",
          {},
          "a(uso)",
          {"connections"},
          [this](BusCall&) { return EnumDAdvise(); }},
         {"QueryGetData",
          "su",
          {"format", "tymed"},
          "",
          {},
          [this](BusCall& c) {
              FORMATETC format = FormatOf(TextArg(c, 0), DVASPECT_CONTENT, -1, UInt32Arg(c, 1));
              return ReplyOf(group_->QueryGetData(&format));
          }},
         {"GetData",
          "su",
          {"format", "tymed"},
          "ay",
          {"stream"},
          [this](BusCall& c) {
              FORMATETC format = FormatOf(TextArg(c, 0), DVASPECT_CONTENT, -1, UInt32Arg(c, 1));
              std::vector<std::uint8_t> stream;
              HRESULT hr = group_->GetData(&format, &stream);
              return ReplyOf(hr, {ByteArray(stream)});
          }},
         {"GetDataHere",
          "",
          {},
          "",
          {},
          [&g](BusCall&) { return NotImplemented(&OPCGroup::GetDataHere, g); }},
         {"GetCanonicalFormatEtc",
          "",
          {},
          "",
          {},
          [&g](BusCall&) { return NotImplemented(&OPCGroup::GetCanonicalFormatEtc, g); }},
         {"SetData",
          "",
          {},
          "",
          {},
          [&g](BusCall&) { return NotImplemented(&OPCGroup::SetData, g); }},
         {"EnumFormatEtc", "", {}, "", {}, [&g](BusCall&) {
              return NotImplemented(&OPCGroup::EnumFormatEtc, g);
          }}}};
}

BusReply DaGroupBusObject::DAdvise(BusCall& call) {
    FORMATETC format =
        FormatOf(TextArg(call, 0), UInt32Arg(call, 1), Int32Arg(call, 2), UInt32Arg(call, 3));
    auto sink = std::make_shared<RemoteAdviseSink>(context_.sinks, TextArg(call, 5));
    std::uint32_t connection = 0;
    HRESULT hr = group_->DAdvise(&format, UInt32Arg(call, 4), std::move(sink), &connection);
    if (Failed(hr)) return BusReply::Fail(hr);
    advises_.insert(connection);
    return BusReply::Ok({BusValue::UInt32(connection)});
}

BusReply DaGroupBusObject::DUnadvise(BusCall& call) {
    const std::uint32_t connection = UInt32Arg(call, 0);
    HRESULT hr = group_->DUnadvise(connection);
    if (Succeeded(hr)) advises_.erase(connection);
    return ReplyOf(hr);
}

BusReply DaGroupBusObject::EnumDAdvise() {
    std::vector<AdviseConnection> connections;
    HRESULT hr = group_->EnumDAdvise(&connections);
    if (Failed(hr)) return BusReply::Fail(hr);
    BusValue::Items elements;
    for (const AdviseConnection& c : connections) {
        const auto* sink = dynamic_cast<const RemoteAdviseSink*>(c.sink.get());
        elements.push_back(BusValue::Struct({BusValue::UInt32(c.number),
                                             BusValue::String(StreamFormatName(c.format.cfFormat)),
                                             BusValue::ObjectPath(sink ? sink->Path() : "/")}));
    }
    return BusReply::Ok({BusValue::Array("(uso)", std::move(elements))});
}

BusInterface DaGroupBusObject::ConnectionPoints() {
    return ConnectionPointContainer({kDataCallbackSinkInterface, "IOPCDataCallback",
                                     std::bind_front(&DaGroupBusObject::Advise, this),
                                     std::bind_front(&DaGroupBusObject::Unadvise, this)});
}

BusReply DaGroupBusObject::Advise(const std::string& sinkPath) {
    std::uint32_t cookie = 0;
    HRESULT hr = group_->AdviseCallback(
        std::make_shared<RemoteDataCallbackSink>(context_.sinks, sinkPath), &cookie);
    if (Failed(hr)) return BusReply::Fail(hr);
    callbacks_.insert(cookie);
    return BusReply::Ok({BusValue::UInt32(cookie)});
}

BusReply DaGroupBusObject::Unadvise(std::uint32_t cookie) {
    // A cookie of another object of the same group is not this object's to end.
    if (!callbacks_.contains(cookie)) return RefuseConnection("IOPCDataCallback", "Unadvise");
    HRESULT hr = group_->UnadviseCallback(cookie);
    if (Succeeded(hr)) callbacks_.erase(cookie);
    return ReplyOf(hr);
}

std::string ExportGroupObject(IBusCallScope& scope, const DaBusContext& context,
                              std::shared_ptr<OPCGroup> group) {
    const OPCGroup* key = group.get();
    auto object = std::make_unique<DaGroupBusObject>(context, std::move(group));
    const void* identity = object.get();
    std::string path = scope.ExportChild("Group", std::move(object));
    // The object is destroyed after the current call at the earliest, so entering it now
    // cannot outlive it.
    if (!path.empty()) context.groupObjects->Enter(key, identity, path);
    return path;
}

std::string GroupObjectPath(IBusCallScope& scope, const DaBusContext& context,
                            std::shared_ptr<OPCGroup> group) {
    if (auto path = context.groupObjects->PathOf(group.get())) return *path;
    return ExportGroupObject(scope, context, std::move(group));
}

}  // namespace velk
