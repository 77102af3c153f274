#pragma once
// The "Communication Alarms" dialog of a device without its toolkit: the four alarms
// (" Redundancy on Port #1 ", " Redundancy on Port #2 ", " Communication to device ",
// " Event buffer overrun "), each with a failure part and a normal part (enable box,
// priority 0 to 1000, message, acknowledge-required box) and a source text.
#include <array>
#include <optional>
#include <string>

namespace velk {

class ODeviceAlarm;

inline constexpr int kCommAlarmCount = 4;
inline constexpr std::array<const char*, kCommAlarmCount> kCommAlarmTitles = {
    " Redundancy on Port #1 ", " Redundancy on Port #2 ", " Communication to device ",
    " Event buffer overrun "};
inline constexpr int kCommAlarmMaxPriority = 1000;

// The configured fields of one communication alarm, as the device dialog carries them.
struct CommAlarmSettings {
    std::uint16_t enableFlags = 0;
    std::uint16_t acknowledgeFlags = 0;
    std::uint16_t failurePriority = 0;
    std::string failureText;
    std::uint16_t normalPriority = 0;
    std::string normalText;
    std::string source;

    static CommAlarmSettings Of(const ODeviceAlarm& alarm);
    void ApplyTo(ODeviceAlarm& alarm) const;
    bool operator==(const CommAlarmSettings&) const = default;
};

class CommAlarmsDialogModel {
  public:
    struct Part {
        bool enabled = false;
        std::string priority;  // as typed
        std::string message;
        bool acknowledge = false;
    };

    explicit CommAlarmsDialogModel(const std::array<CommAlarmSettings, kCommAlarmCount>& alarms);

    // index 0..3 (code - 1).
    const Part& Failure(int index) const { return alarms_.at(index).failure; }
    const Part& Normal(int index) const { return alarms_.at(index).normal; }
    const std::string& Source(int index) const { return alarms_.at(index).source; }

    // Enabling a part sets its acknowledge box and, when its priority is 0, fills in the
    // alarm's default priority and message; disabling clears priority, message and box.
    void SetEnabled(int index, bool failurePart, bool enabled);
    void SetPriority(int index, bool failurePart, std::string text);
    void SetMessage(int index, bool failurePart, std::string text);
    // Ignored for the overrun alarm, whose boxes the dialog does not let change.
    void SetAcknowledge(int index, bool failurePart, bool required);
    bool AcknowledgeEditable(int index) const { return index != kCommAlarmCount - 1; }
    // The source text is editable while either part is enabled.
    bool SourceEditable(int index) const;
    void SetSource(int index, std::string text);

    // OK: the first refused priority's message ("Enter an integer." or "Enter an integer
    // between 0 and 1000."), with nothing written; otherwise the settings.
    std::optional<std::string> Ok(std::array<CommAlarmSettings, kCommAlarmCount>& out) const;

  private:
    struct Alarm {
        Part failure;
        Part normal;
        std::string source;
    };
    Part& PartOf(int index, bool failurePart);

    std::array<Alarm, kCommAlarmCount> alarms_;
};

}  // namespace velk
