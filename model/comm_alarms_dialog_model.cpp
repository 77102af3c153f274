#include "model/comm_alarms_dialog_model.h"

#include <charconv>

#include "model/o_device_alarm.h"

namespace velk {
namespace {

// The enable and acknowledge bit of an alarm's failure part.
std::uint16_t FailureBit(int index) {
    return index == kCommAlarmCount - 1 ? ODeviceAlarm::kOverrunFailureBit
                                        : ODeviceAlarm::kCommFailureBit;
}

std::optional<long> ParseInteger(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) return std::nullopt;
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    if (*first == '+') ++first;
    long value = 0;
    const auto [stop, error] = std::from_chars(first, last, value);
    if (error != std::errc() || stop != last) return std::nullopt;
    return value;
}

}  // namespace

CommAlarmSettings CommAlarmSettings::Of(const ODeviceAlarm& alarm) {
    return {alarm.enableFlags,    alarm.acknowledgeFlags, alarm.failurePriority, alarm.failureText,
            alarm.normalPriority, alarm.normalText,       alarm.source};
}

void CommAlarmSettings::ApplyTo(ODeviceAlarm& alarm) const {
    alarm.enableFlags = enableFlags;
    alarm.acknowledgeFlags = acknowledgeFlags;
    alarm.failurePriority = failurePriority;
    alarm.failureText = failureText;
    alarm.normalPriority = normalPriority;
    alarm.normalText = normalText;
    alarm.source = source;
}

CommAlarmsDialogModel::CommAlarmsDialogModel(
    const std::array<CommAlarmSettings, kCommAlarmCount>& alarms) {
    for (int i = 0; i < kCommAlarmCount; ++i) {
        const CommAlarmSettings& a = alarms[static_cast<std::size_t>(i)];
        Alarm& shown = alarms_[static_cast<std::size_t>(i)];
        shown.failure = {(a.enableFlags & FailureBit(i)) != 0, std::to_string(a.failurePriority),
                         a.failureText, (a.acknowledgeFlags & FailureBit(i)) != 0};
        shown.normal = {(a.enableFlags & kNormalEventBit) != 0, std::to_string(a.normalPriority),
                        a.normalText, (a.acknowledgeFlags & kNormalEventBit) != 0};
        shown.source = a.source;
    }
}

CommAlarmsDialogModel::Part& CommAlarmsDialogModel::PartOf(int index, bool failurePart) {
    Alarm& alarm = alarms_.at(static_cast<std::size_t>(index));
    return failurePart ? alarm.failure : alarm.normal;
}

void CommAlarmsDialogModel::SetEnabled(int index, bool failurePart, bool enabled) {
    Part& part = PartOf(index, failurePart);
    part.enabled = enabled;
    part.acknowledge = enabled;
    if (!enabled) {
        part.priority = "0";
        part.message.clear();
        return;
    }
    if (ParseInteger(part.priority).value_or(0) != 0) return;
    ODeviceAlarm defaults;
    defaults.ApplyDefaultTexts(static_cast<std::uint16_t>(index + 1));
    part.priority =
        std::to_string(failurePart ? defaults.failurePriority : defaults.normalPriority);
    part.message = failurePart ? defaults.failureText : defaults.normalText;
}

void CommAlarmsDialogModel::SetPriority(int index, bool failurePart, std::string text) {
    PartOf(index, failurePart).priority = std::move(text);
}

void CommAlarmsDialogModel::SetMessage(int index, bool failurePart, std::string text) {
    PartOf(index, failurePart).message = std::move(text);
}

void CommAlarmsDialogModel::SetAcknowledge(int index, bool failurePart, bool required) {
    if (AcknowledgeEditable(index)) PartOf(index, failurePart).acknowledge = required;
}

bool CommAlarmsDialogModel::SourceEditable(int index) const {
    const Alarm& alarm = alarms_.at(static_cast<std::size_t>(index));
    return alarm.failure.enabled || alarm.normal.enabled;
}

void CommAlarmsDialogModel::SetSource(int index, std::string text) {
    if (SourceEditable(index)) alarms_.at(static_cast<std::size_t>(index)).source = std::move(text);
}

std::optional<std::string> CommAlarmsDialogModel::Ok(
    std::array<CommAlarmSettings, kCommAlarmCount>& out) const {
    std::array<CommAlarmSettings, kCommAlarmCount> result = out;
    for (int i = 0; i < kCommAlarmCount; ++i) {
        const Alarm& alarm = alarms_[static_cast<std::size_t>(i)];
        CommAlarmSettings& s = result[static_cast<std::size_t>(i)];
        std::uint16_t priorities[2] = {};
        int n = 0;
        for (const Part* part : {&alarm.failure, &alarm.normal}) {
            const std::optional<long> value = ParseInteger(part->priority);
            if (!value) return "Enter an integer.";
            if (*value < 0 || *value > kCommAlarmMaxPriority) {
                return "Enter an integer between 0 and " + std::to_string(kCommAlarmMaxPriority) +
                       ".";
            }
            priorities[n++] = static_cast<std::uint16_t>(*value);
        }
        const std::uint16_t failureBit = FailureBit(i);
        s.enableFlags = static_cast<std::uint16_t>((alarm.failure.enabled ? failureBit : 0) |
                                                   (alarm.normal.enabled ? kNormalEventBit : 0));
        s.acknowledgeFlags =
            static_cast<std::uint16_t>((alarm.failure.acknowledge ? failureBit : 0) |
                                       (alarm.normal.acknowledge ? kNormalEventBit : 0));
        s.failurePriority = priorities[0];
        s.failureText = alarm.failure.message;
        s.normalPriority = priorities[1];
        s.normalText = alarm.normal.message;
        s.source = alarm.source;
    }
    out = result;
    return std::nullopt;
}

}  // namespace velk
