#pragma once
// The requests, responses and notification structures of the Subscription and
// MonitoredItem services, each with its schema table (field names and wire order as the
// binary encoding sends them).
#include <cstdint>
#include <string_view>
#include <tuple>
#include <vector>

#include "opcua/read_value_id.h"
#include "opcua/service_headers.h"
#include "opcua/structure_codec.h"

namespace velk::ua {

enum class MonitoringMode : std::int32_t { kDisabled = 0, kSampling = 1, kReporting = 2 };
enum class DataChangeTrigger : std::int32_t {
    kStatus = 0,
    kStatusValue = 1,
    kStatusValueTimestamp = 2,
};
enum class DeadbandType : std::uint32_t { kNone = 0, kAbsolute = 1, kPercent = 2 };

// ---- notifications ---------------------------------------------------------------------

struct MonitoredItemNotification {
    std::uint32_t clientHandle = 0;
    DataValue value;
    bool operator==(const MonitoredItemNotification&) const = default;
};

struct DataChangeNotification {
    std::vector<MonitoredItemNotification> monitoredItems;
    std::vector<DiagnosticInfo> diagnosticInfos;
    bool operator==(const DataChangeNotification&) const = default;
};

struct StatusChangeNotification {
    StatusCode status;
    DiagnosticInfo diagnosticInfo;
    bool operator==(const StatusChangeNotification&) const = default;
};

struct NotificationMessage {
    std::uint32_t sequenceNumber = 0;
    DateTime publishTime;
    // DataChangeNotification or StatusChangeNotification bodies; empty for a keep-alive.
    std::vector<ExtensionObject> notificationData;
    bool operator==(const NotificationMessage&) const = default;
};

struct SubscriptionAcknowledgement {
    std::uint32_t subscriptionId = 0;
    std::uint32_t sequenceNumber = 0;
    bool operator==(const SubscriptionAcknowledgement&) const = default;
};

// ---- Subscription services ---------------------------------------------------------------

struct CreateSubscriptionRequest {
    RequestHeader requestHeader;
    double requestedPublishingInterval = 0;
    std::uint32_t requestedLifetimeCount = 0;
    std::uint32_t requestedMaxKeepAliveCount = 0;
    std::uint32_t maxNotificationsPerPublish = 0;
    bool publishingEnabled = false;
    std::uint8_t priority = 0;
};

struct CreateSubscriptionResponse {
    ResponseHeader responseHeader;
    std::uint32_t subscriptionId = 0;
    double revisedPublishingInterval = 0;
    std::uint32_t revisedLifetimeCount = 0;
    std::uint32_t revisedMaxKeepAliveCount = 0;
};

struct ModifySubscriptionRequest {
    RequestHeader requestHeader;
    std::uint32_t subscriptionId = 0;
    double requestedPublishingInterval = 0;
    std::uint32_t requestedLifetimeCount = 0;
    std::uint32_t requestedMaxKeepAliveCount = 0;
    std::uint32_t maxNotificationsPerPublish = 0;
    std::uint8_t priority = 0;
};

struct ModifySubscriptionResponse {
    ResponseHeader responseHeader;
    double revisedPublishingInterval = 0;
    std::uint32_t revisedLifetimeCount = 0;
    std::uint32_t revisedMaxKeepAliveCount = 0;
};

struct SetPublishingModeRequest {
    RequestHeader requestHeader;
    bool publishingEnabled = false;
    std::vector<std::uint32_t> subscriptionIds;
};

struct SetPublishingModeResponse {
    ResponseHeader responseHeader;
    std::vector<StatusCode> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

struct PublishRequest {
    RequestHeader requestHeader;
    std::vector<SubscriptionAcknowledgement> subscriptionAcknowledgements;
};

struct PublishResponse {
    ResponseHeader responseHeader;
    std::uint32_t subscriptionId = 0;
    std::vector<std::uint32_t> availableSequenceNumbers;
    bool moreNotifications = false;
    NotificationMessage notificationMessage;
    std::vector<StatusCode> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

struct RepublishRequest {
    RequestHeader requestHeader;
    std::uint32_t subscriptionId = 0;
    std::uint32_t retransmitSequenceNumber = 0;
};

struct RepublishResponse {
    ResponseHeader responseHeader;
    NotificationMessage notificationMessage;
};

struct DeleteSubscriptionsRequest {
    RequestHeader requestHeader;
    std::vector<std::uint32_t> subscriptionIds;
};

struct DeleteSubscriptionsResponse {
    ResponseHeader responseHeader;
    std::vector<StatusCode> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

struct TransferResult {
    StatusCode statusCode;
    std::vector<std::uint32_t> availableSequenceNumbers;
};

struct TransferSubscriptionsRequest {
    RequestHeader requestHeader;
    std::vector<std::uint32_t> subscriptionIds;
    bool sendInitialValues = false;
};

struct TransferSubscriptionsResponse {
    ResponseHeader responseHeader;
    std::vector<TransferResult> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

// ---- MonitoredItem services ----------------------------------------------------------------

struct DataChangeFilter {
    DataChangeTrigger trigger = DataChangeTrigger::kStatusValue;
    std::uint32_t deadbandType = 0;  // a DeadbandType
    double deadbandValue = 0;
};

struct MonitoringParameters {
    std::uint32_t clientHandle = 0;
    double samplingInterval = -1;
    ExtensionObject filter;
    std::uint32_t queueSize = 1;
    bool discardOldest = true;
};

struct MonitoredItemCreateRequest {
    ReadValueId itemToMonitor;
    MonitoringMode monitoringMode = MonitoringMode::kReporting;
    MonitoringParameters requestedParameters;
};

struct MonitoredItemCreateResult {
    StatusCode statusCode;
    std::uint32_t monitoredItemId = 0;
    double revisedSamplingInterval = 0;
    std::uint32_t revisedQueueSize = 0;
    ExtensionObject filterResult;
};

struct CreateMonitoredItemsRequest {
    RequestHeader requestHeader;
    std::uint32_t subscriptionId = 0;
    TimestampsToReturn timestampsToReturn = TimestampsToReturn::kBoth;
    std::vector<MonitoredItemCreateRequest> itemsToCreate;
};

struct CreateMonitoredItemsResponse {
    ResponseHeader responseHeader;
    std::vector<MonitoredItemCreateResult> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

struct MonitoredItemModifyRequest {
    std::uint32_t monitoredItemId = 0;
    MonitoringParameters requestedParameters;
};

struct MonitoredItemModifyResult {
    StatusCode statusCode;
    double revisedSamplingInterval = 0;
    std::uint32_t revisedQueueSize = 0;
    ExtensionObject filterResult;
};

struct ModifyMonitoredItemsRequest {
    RequestHeader requestHeader;
    std::uint32_t subscriptionId = 0;
    TimestampsToReturn timestampsToReturn = TimestampsToReturn::kBoth;
    std::vector<MonitoredItemModifyRequest> itemsToModify;
};

struct ModifyMonitoredItemsResponse {
    ResponseHeader responseHeader;
    std::vector<MonitoredItemModifyResult> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

struct SetMonitoringModeRequest {
    RequestHeader requestHeader;
    std::uint32_t subscriptionId = 0;
    MonitoringMode monitoringMode = MonitoringMode::kReporting;
    std::vector<std::uint32_t> monitoredItemIds;
};

struct SetMonitoringModeResponse {
    ResponseHeader responseHeader;
    std::vector<StatusCode> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

struct SetTriggeringRequest {
    RequestHeader requestHeader;
    std::uint32_t subscriptionId = 0;
    std::uint32_t triggeringItemId = 0;
    std::vector<std::uint32_t> linksToAdd;
    std::vector<std::uint32_t> linksToRemove;
};

struct SetTriggeringResponse {
    ResponseHeader responseHeader;
    std::vector<StatusCode> addResults;
    std::vector<DiagnosticInfo> addDiagnosticInfos;
    std::vector<StatusCode> removeResults;
    std::vector<DiagnosticInfo> removeDiagnosticInfos;
};

struct DeleteMonitoredItemsRequest {
    RequestHeader requestHeader;
    std::uint32_t subscriptionId = 0;
    std::vector<std::uint32_t> monitoredItemIds;
};

struct DeleteMonitoredItemsResponse {
    ResponseHeader responseHeader;
    std::vector<StatusCode> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

// ---- schema tables ----------------------------------------------------------------------

#define VELK_UA_FIELD(S, wire, member) \
    Field { wire, &S::member }

template <>
struct StructureSchema<MonitoredItemNotification> {
    using S = MonitoredItemNotification;
    static constexpr std::string_view kName = "MonitoredItemNotification";
    static constexpr std::uint32_t kBinaryEncodingId = 808;
    static constexpr auto kFields = std::tuple{VELK_UA_FIELD(S, "ClientHandle", clientHandle),
                                               VELK_UA_FIELD(S, "Value", value)};
};

template <>
struct StructureSchema<DataChangeNotification> {
    using S = DataChangeNotification;
    static constexpr std::string_view kName = "DataChangeNotification";
    static constexpr std::uint32_t kBinaryEncodingId = 811;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "MonitoredItems", monitoredItems),
                   VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

template <>
struct StructureSchema<StatusChangeNotification> {
    using S = StatusChangeNotification;
    static constexpr std::string_view kName = "StatusChangeNotification";
    static constexpr std::uint32_t kBinaryEncodingId = 820;
    static constexpr auto kFields = std::tuple{VELK_UA_FIELD(S, "Status", status),
                                               VELK_UA_FIELD(S, "DiagnosticInfo", diagnosticInfo)};
};

template <>
struct StructureSchema<NotificationMessage> {
    using S = NotificationMessage;
    static constexpr std::string_view kName = "NotificationMessage";
    static constexpr std::uint32_t kBinaryEncodingId = 805;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "SequenceNumber", sequenceNumber),
                   VELK_UA_FIELD(S, "PublishTime", publishTime),
                   VELK_UA_FIELD(S, "NotificationData", notificationData)};
};

template <>
struct StructureSchema<SubscriptionAcknowledgement> {
    using S = SubscriptionAcknowledgement;
    static constexpr std::string_view kName = "SubscriptionAcknowledgement";
    static constexpr std::uint32_t kBinaryEncodingId = 823;
    static constexpr auto kFields = std::tuple{VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                                               VELK_UA_FIELD(S, "SequenceNumber", sequenceNumber)};
};

template <>
struct StructureSchema<CreateSubscriptionRequest> {
    using S = CreateSubscriptionRequest;
    static constexpr std::string_view kName = "CreateSubscriptionRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 787;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "RequestedPublishingInterval", requestedPublishingInterval),
                   VELK_UA_FIELD(S, "RequestedLifetimeCount", requestedLifetimeCount),
                   VELK_UA_FIELD(S, "RequestedMaxKeepAliveCount", requestedMaxKeepAliveCount),
                   VELK_UA_FIELD(S, "MaxNotificationsPerPublish", maxNotificationsPerPublish),
                   VELK_UA_FIELD(S, "PublishingEnabled", publishingEnabled),
                   VELK_UA_FIELD(S, "Priority", priority)};
};

template <>
struct StructureSchema<CreateSubscriptionResponse> {
    using S = CreateSubscriptionResponse;
    static constexpr std::string_view kName = "CreateSubscriptionResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 790;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "ResponseHeader", responseHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "RevisedPublishingInterval", revisedPublishingInterval),
                   VELK_UA_FIELD(S, "RevisedLifetimeCount", revisedLifetimeCount),
                   VELK_UA_FIELD(S, "RevisedMaxKeepAliveCount", revisedMaxKeepAliveCount)};
};

template <>
struct StructureSchema<ModifySubscriptionRequest> {
    using S = ModifySubscriptionRequest;
    static constexpr std::string_view kName = "ModifySubscriptionRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 793;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "RequestedPublishingInterval", requestedPublishingInterval),
                   VELK_UA_FIELD(S, "RequestedLifetimeCount", requestedLifetimeCount),
                   VELK_UA_FIELD(S, "RequestedMaxKeepAliveCount", requestedMaxKeepAliveCount),
                   VELK_UA_FIELD(S, "MaxNotificationsPerPublish", maxNotificationsPerPublish),
                   VELK_UA_FIELD(S, "Priority", priority)};
};

template <>
struct StructureSchema<ModifySubscriptionResponse> {
    using S = ModifySubscriptionResponse;
    static constexpr std::string_view kName = "ModifySubscriptionResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 796;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "ResponseHeader", responseHeader),
                   VELK_UA_FIELD(S, "RevisedPublishingInterval", revisedPublishingInterval),
                   VELK_UA_FIELD(S, "RevisedLifetimeCount", revisedLifetimeCount),
                   VELK_UA_FIELD(S, "RevisedMaxKeepAliveCount", revisedMaxKeepAliveCount)};
};

template <>
struct StructureSchema<SetPublishingModeRequest> {
    using S = SetPublishingModeRequest;
    static constexpr std::string_view kName = "SetPublishingModeRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 799;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "PublishingEnabled", publishingEnabled),
                   VELK_UA_FIELD(S, "SubscriptionIds", subscriptionIds)};
};

template <>
struct StructureSchema<SetPublishingModeResponse> {
    using S = SetPublishingModeResponse;
    static constexpr std::string_view kName = "SetPublishingModeResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 802;
    static constexpr auto kFields = std::tuple{
        VELK_UA_FIELD(S, "ResponseHeader", responseHeader), VELK_UA_FIELD(S, "Results", results),
        VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

template <>
struct StructureSchema<PublishRequest> {
    using S = PublishRequest;
    static constexpr std::string_view kName = "PublishRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 826;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionAcknowledgements", subscriptionAcknowledgements)};
};

template <>
struct StructureSchema<PublishResponse> {
    using S = PublishResponse;
    static constexpr std::string_view kName = "PublishResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 829;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "ResponseHeader", responseHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "AvailableSequenceNumbers", availableSequenceNumbers),
                   VELK_UA_FIELD(S, "MoreNotifications", moreNotifications),
                   VELK_UA_FIELD(S, "NotificationMessage", notificationMessage),
                   VELK_UA_FIELD(S, "Results", results),
                   VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

template <>
struct StructureSchema<RepublishRequest> {
    using S = RepublishRequest;
    static constexpr std::string_view kName = "RepublishRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 832;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "RetransmitSequenceNumber", retransmitSequenceNumber)};
};

template <>
struct StructureSchema<RepublishResponse> {
    using S = RepublishResponse;
    static constexpr std::string_view kName = "RepublishResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 835;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "ResponseHeader", responseHeader),
                   VELK_UA_FIELD(S, "NotificationMessage", notificationMessage)};
};

template <>
struct StructureSchema<DeleteSubscriptionsRequest> {
    using S = DeleteSubscriptionsRequest;
    static constexpr std::string_view kName = "DeleteSubscriptionsRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 847;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionIds", subscriptionIds)};
};

template <>
struct StructureSchema<DeleteSubscriptionsResponse> {
    using S = DeleteSubscriptionsResponse;
    static constexpr std::string_view kName = "DeleteSubscriptionsResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 850;
    static constexpr auto kFields = std::tuple{
        VELK_UA_FIELD(S, "ResponseHeader", responseHeader), VELK_UA_FIELD(S, "Results", results),
        VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

template <>
struct StructureSchema<TransferResult> {
    using S = TransferResult;
    static constexpr std::string_view kName = "TransferResult";
    static constexpr std::uint32_t kBinaryEncodingId = 838;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "StatusCode", statusCode),
                   VELK_UA_FIELD(S, "AvailableSequenceNumbers", availableSequenceNumbers)};
};

template <>
struct StructureSchema<TransferSubscriptionsRequest> {
    using S = TransferSubscriptionsRequest;
    static constexpr std::string_view kName = "TransferSubscriptionsRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 841;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionIds", subscriptionIds),
                   VELK_UA_FIELD(S, "SendInitialValues", sendInitialValues)};
};

template <>
struct StructureSchema<TransferSubscriptionsResponse> {
    using S = TransferSubscriptionsResponse;
    static constexpr std::string_view kName = "TransferSubscriptionsResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 844;
    static constexpr auto kFields = std::tuple{
        VELK_UA_FIELD(S, "ResponseHeader", responseHeader), VELK_UA_FIELD(S, "Results", results),
        VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

template <>
struct StructureSchema<DataChangeFilter> {
    using S = DataChangeFilter;
    static constexpr std::string_view kName = "DataChangeFilter";
    static constexpr std::uint32_t kBinaryEncodingId = 724;
    static constexpr auto kFields = std::tuple{VELK_UA_FIELD(S, "Trigger", trigger),
                                               VELK_UA_FIELD(S, "DeadbandType", deadbandType),
                                               VELK_UA_FIELD(S, "DeadbandValue", deadbandValue)};
};

template <>
struct StructureSchema<MonitoringParameters> {
    using S = MonitoringParameters;
    static constexpr std::string_view kName = "MonitoringParameters";
    static constexpr std::uint32_t kBinaryEncodingId = 742;
    static constexpr auto kFields = std::tuple{
        VELK_UA_FIELD(S, "ClientHandle", clientHandle),
        VELK_UA_FIELD(S, "SamplingInterval", samplingInterval), VELK_UA_FIELD(S, "Filter", filter),
        VELK_UA_FIELD(S, "QueueSize", queueSize), VELK_UA_FIELD(S, "DiscardOldest", discardOldest)};
};

template <>
struct StructureSchema<MonitoredItemCreateRequest> {
    using S = MonitoredItemCreateRequest;
    static constexpr std::string_view kName = "MonitoredItemCreateRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 745;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "ItemToMonitor", itemToMonitor),
                   VELK_UA_FIELD(S, "MonitoringMode", monitoringMode),
                   VELK_UA_FIELD(S, "RequestedParameters", requestedParameters)};
};

template <>
struct StructureSchema<MonitoredItemCreateResult> {
    using S = MonitoredItemCreateResult;
    static constexpr std::string_view kName = "MonitoredItemCreateResult";
    static constexpr std::uint32_t kBinaryEncodingId = 748;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "StatusCode", statusCode),
                   VELK_UA_FIELD(S, "MonitoredItemId", monitoredItemId),
                   VELK_UA_FIELD(S, "RevisedSamplingInterval", revisedSamplingInterval),
                   VELK_UA_FIELD(S, "RevisedQueueSize", revisedQueueSize),
                   VELK_UA_FIELD(S, "FilterResult", filterResult)};
};

template <>
struct StructureSchema<CreateMonitoredItemsRequest> {
    using S = CreateMonitoredItemsRequest;
    static constexpr std::string_view kName = "CreateMonitoredItemsRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 751;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "TimestampsToReturn", timestampsToReturn),
                   VELK_UA_FIELD(S, "ItemsToCreate", itemsToCreate)};
};

template <>
struct StructureSchema<CreateMonitoredItemsResponse> {
    using S = CreateMonitoredItemsResponse;
    static constexpr std::string_view kName = "CreateMonitoredItemsResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 754;
    static constexpr auto kFields = std::tuple{
        VELK_UA_FIELD(S, "ResponseHeader", responseHeader), VELK_UA_FIELD(S, "Results", results),
        VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

template <>
struct StructureSchema<MonitoredItemModifyRequest> {
    using S = MonitoredItemModifyRequest;
    static constexpr std::string_view kName = "MonitoredItemModifyRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 757;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "MonitoredItemId", monitoredItemId),
                   VELK_UA_FIELD(S, "RequestedParameters", requestedParameters)};
};

template <>
struct StructureSchema<MonitoredItemModifyResult> {
    using S = MonitoredItemModifyResult;
    static constexpr std::string_view kName = "MonitoredItemModifyResult";
    static constexpr std::uint32_t kBinaryEncodingId = 760;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "StatusCode", statusCode),
                   VELK_UA_FIELD(S, "RevisedSamplingInterval", revisedSamplingInterval),
                   VELK_UA_FIELD(S, "RevisedQueueSize", revisedQueueSize),
                   VELK_UA_FIELD(S, "FilterResult", filterResult)};
};

template <>
struct StructureSchema<ModifyMonitoredItemsRequest> {
    using S = ModifyMonitoredItemsRequest;
    static constexpr std::string_view kName = "ModifyMonitoredItemsRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 763;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "TimestampsToReturn", timestampsToReturn),
                   VELK_UA_FIELD(S, "ItemsToModify", itemsToModify)};
};

template <>
struct StructureSchema<ModifyMonitoredItemsResponse> {
    using S = ModifyMonitoredItemsResponse;
    static constexpr std::string_view kName = "ModifyMonitoredItemsResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 766;
    static constexpr auto kFields = std::tuple{
        VELK_UA_FIELD(S, "ResponseHeader", responseHeader), VELK_UA_FIELD(S, "Results", results),
        VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

template <>
struct StructureSchema<SetMonitoringModeRequest> {
    using S = SetMonitoringModeRequest;
    static constexpr std::string_view kName = "SetMonitoringModeRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 769;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "MonitoringMode", monitoringMode),
                   VELK_UA_FIELD(S, "MonitoredItemIds", monitoredItemIds)};
};

template <>
struct StructureSchema<SetMonitoringModeResponse> {
    using S = SetMonitoringModeResponse;
    static constexpr std::string_view kName = "SetMonitoringModeResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 772;
    static constexpr auto kFields = std::tuple{
        VELK_UA_FIELD(S, "ResponseHeader", responseHeader), VELK_UA_FIELD(S, "Results", results),
        VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

template <>
struct StructureSchema<SetTriggeringRequest> {
    using S = SetTriggeringRequest;
    static constexpr std::string_view kName = "SetTriggeringRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 775;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "TriggeringItemId", triggeringItemId),
                   VELK_UA_FIELD(S, "LinksToAdd", linksToAdd),
                   VELK_UA_FIELD(S, "LinksToRemove", linksToRemove)};
};

template <>
struct StructureSchema<SetTriggeringResponse> {
    using S = SetTriggeringResponse;
    static constexpr std::string_view kName = "SetTriggeringResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 778;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "ResponseHeader", responseHeader),
                   VELK_UA_FIELD(S, "AddResults", addResults),
                   VELK_UA_FIELD(S, "AddDiagnosticInfos", addDiagnosticInfos),
                   VELK_UA_FIELD(S, "RemoveResults", removeResults),
                   VELK_UA_FIELD(S, "RemoveDiagnosticInfos", removeDiagnosticInfos)};
};

template <>
struct StructureSchema<DeleteMonitoredItemsRequest> {
    using S = DeleteMonitoredItemsRequest;
    static constexpr std::string_view kName = "DeleteMonitoredItemsRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 781;
    static constexpr auto kFields =
        std::tuple{VELK_UA_FIELD(S, "RequestHeader", requestHeader),
                   VELK_UA_FIELD(S, "SubscriptionId", subscriptionId),
                   VELK_UA_FIELD(S, "MonitoredItemIds", monitoredItemIds)};
};

template <>
struct StructureSchema<DeleteMonitoredItemsResponse> {
    using S = DeleteMonitoredItemsResponse;
    static constexpr std::string_view kName = "DeleteMonitoredItemsResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 784;
    static constexpr auto kFields = std::tuple{
        VELK_UA_FIELD(S, "ResponseHeader", responseHeader), VELK_UA_FIELD(S, "Results", results),
        VELK_UA_FIELD(S, "DiagnosticInfos", diagnosticInfos)};
};

#undef VELK_UA_FIELD

}  // namespace velk::ua
