#include "opcua/subscription/monitored_item.h"

#include <cmath>
#include <span>
#include <utility>

#include "opcua/subscription/subscription_status_codes.h"

namespace velk::ua {

namespace {

constexpr std::uint32_t kEventFilterEncodingId = 727;
constexpr std::uint32_t kAggregateFilterEncodingId = 730;

bool IsEmpty(const ExtensionObject& object) {
    return object.encoding == ExtensionObject::Encoding::kNone && object.typeId.IsNull();
}

// The number a scalar holds, for the deadband; nothing for other types.
std::optional<double> AsNumber(const VariantScalar& scalar) {
    return std::visit(
        [](const auto& v) -> std::optional<double> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>) {
                return static_cast<double>(v);
            } else {
                return std::nullopt;
            }
        },
        scalar);
}

// Two numbers are the same when equal or both NaN: a value that stays NaN is reported once,
// when it becomes NaN.
bool SameNumber(double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); }

// Changed when any element moved by more than deadband (by any amount without one); a
// change of shape or of a non-number always counts, and so does one into or out of NaN.
bool Changed(const Variant& last, const Variant& now, std::optional<double> deadband) {
    if (last.isArray != now.isArray) return true;
    auto differs = [deadband](const VariantScalar& a, const VariantScalar& b) {
        const std::optional<double> x = AsNumber(a);
        const std::optional<double> y = AsNumber(b);
        const bool floating = std::holds_alternative<float>(a) || std::holds_alternative<double>(a);
        // Integers are compared as they are: a double cannot tell large Int64s apart.
        if (!x || !y || a.index() != b.index() || (!deadband && !floating)) return !(a == b);
        if (SameNumber(*x, *y)) return false;
        if (std::isnan(*x) || std::isnan(*y) || !deadband) return true;
        return std::fabs(*x - *y) > *deadband;
    };
    if (!now.isArray) return differs(last.scalar, now.scalar);
    if (last.elements.size() != now.elements.size() || last.dimensions != now.dimensions) {
        return true;
    }
    for (std::size_t i = 0; i < now.elements.size(); ++i) {
        if (differs(last.elements[i], now.elements[i])) return true;
    }
    return false;
}

StatusCode StatusOf(const DataValue& v) { return v.status.value_or(kGood); }

}  // namespace

StatusCode ResolveDataChangeFilter(const ExtensionObject& filter, std::uint32_t attributeId,
                                   const SampledNodeInfo& node, ResolvedFilter& out) {
    out = ResolvedFilter{};
    if (IsEmpty(filter)) return kGood;
    if (attributeId != kAttributeIdValue) return kBadFilterNotAllowed;
    if (filter.typeId == NodeId::Numeric(0, kEventFilterEncodingId) ||
        filter.typeId == NodeId::Numeric(0, kAggregateFilterEncodingId)) {
        return kBadMonitoredItemFilterUnsupported;
    }
    DataChangeFilter decoded;
    BinaryReader outer{std::span<const std::uint8_t>{}};
    if (FromExtensionObject(filter, decoded, outer) != kGood) return kBadMonitoredItemFilterInvalid;
    const auto trigger = static_cast<std::int32_t>(decoded.trigger);
    if (trigger < 0 || trigger > 2) return kBadMonitoredItemFilterInvalid;
    out.trigger = decoded.trigger;
    const double value = decoded.deadbandValue;
    switch (static_cast<DeadbandType>(decoded.deadbandType)) {
        case DeadbandType::kNone:
            return kGood;
        case DeadbandType::kAbsolute:
            if (!node.numeric) return kBadFilterNotAllowed;
            if (!(value >= 0) || !std::isfinite(value)) return kBadDeadbandFilterInvalid;
            out.deadband = value;
            return kGood;
        case DeadbandType::kPercent:
            if (!node.numeric) return kBadFilterNotAllowed;
            if (!(value >= 0 && value <= 100) || !node.euRange) return kBadDeadbandFilterInvalid;
            out.deadband = value / 100.0 * std::fabs(node.euRange->high - node.euRange->low);
            return kGood;
    }
    return kBadDeadbandFilterInvalid;
}

bool PassesFilter(const ResolvedFilter& filter, const DataValue& last, const DataValue& sample) {
    // A status change is always reported; a deadband never hides one.
    if (StatusOf(last) != StatusOf(sample)) return true;
    if (filter.trigger == DataChangeTrigger::kStatus) return false;
    const Variant none;
    const Variant& a = last.value ? *last.value : none;
    const Variant& b = sample.value ? *sample.value : none;
    if (Changed(a, b, filter.deadband)) return true;
    if (filter.deadband) return false;
    return filter.trigger == DataChangeTrigger::kStatusValueTimestamp &&
           last.sourceTimestamp != sample.sourceTimestamp;
}

MonitoredItem::MonitoredItem(std::uint32_t id, ReadValueId item, MonitoringMode mode,
                             MonitoredItemSettings settings)
    : id_(id), item_(std::move(item)), mode_(mode), settings_(std::move(settings)) {}

DataValue MonitoredItem::Stamped(const DataValue& sample, DateTime serverTime) const {
    DataValue v = sample;
    const TimestampsToReturn t = settings_.timestamps;
    const bool source = t == TimestampsToReturn::kSource || t == TimestampsToReturn::kBoth;
    const bool server = t == TimestampsToReturn::kServer || t == TimestampsToReturn::kBoth;
    if (!source) {
        v.sourceTimestamp.reset();
        v.sourcePicoseconds.reset();
    }
    if (!server) {
        v.serverTimestamp.reset();
        v.serverPicoseconds.reset();
    } else if (!v.serverTimestamp) {
        v.serverTimestamp = serverTime;
    }
    return v;
}

bool MonitoredItem::OnSample(const DataValue& sample, DateTime serverTime) {
    if (mode_ == MonitoringMode::kDisabled) return false;
    if (last_ && !PassesFilter(settings_.filter, *last_, sample)) return false;
    last_ = sample;
    Enqueue(Stamped(sample, serverTime));
    return true;
}

void MonitoredItem::Enqueue(DataValue value) {
    if (settings_.queueSize <= 1) {
        // A buffer of the newest value: nothing is lost that the client could have had.
        queue_.clear();
        queue_.push_back(std::move(value));
        return;
    }
    if (queue_.size() < settings_.queueSize) {
        queue_.push_back(std::move(value));
        return;
    }
    if (settings_.discardOldest) {
        queue_.pop_front();
        queue_.push_back(std::move(value));
        queue_.front().status = WithOverflow(StatusOf(queue_.front()));
    } else {
        value.status = WithOverflow(StatusOf(value));
        queue_.back() = std::move(value);
    }
}

void MonitoredItem::Shrink() {
    const std::size_t size = settings_.queueSize <= 1 ? 1 : settings_.queueSize;
    if (queue_.size() <= size) return;
    if (settings_.discardOldest) {
        while (queue_.size() > size) queue_.pop_front();
        if (size > 1) queue_.front().status = WithOverflow(StatusOf(queue_.front()));
    } else {
        // Keeps the oldest values and the newest in the last place.
        DataValue newest = std::move(queue_.back());
        while (queue_.size() > size) queue_.pop_back();
        if (size > 1) newest.status = WithOverflow(StatusOf(newest));
        queue_.back() = std::move(newest);
    }
}

void MonitoredItem::SetMode(MonitoringMode mode) {
    mode_ = mode;
    if (mode == MonitoringMode::kDisabled) {
        queue_.clear();
        last_.reset();
        triggered_ = false;
    }
}

void MonitoredItem::Modify(const MonitoredItemSettings& settings) {
    settings_ = settings;
    Shrink();
}

void MonitoredItem::Trigger() {
    if (mode_ == MonitoringMode::kSampling) triggered_ = true;
}

bool MonitoredItem::Reportable() const {
    if (queue_.empty()) return false;
    return mode_ == MonitoringMode::kReporting ||
           (mode_ == MonitoringMode::kSampling && triggered_);
}

std::size_t MonitoredItem::TakeNotifications(std::size_t max,
                                             std::vector<MonitoredItemNotification>& out) {
    if (!Reportable()) return 0;
    std::size_t taken = 0;
    while (taken < max && !queue_.empty()) {
        out.push_back({settings_.clientHandle, std::move(queue_.front())});
        queue_.pop_front();
        ++taken;
    }
    if (queue_.empty()) triggered_ = false;
    return taken;
}

}  // namespace velk::ua
