#pragma once
// Page "Alarm" of the tag property sheet, analog (an OAnalogAlarm) or binary (an
// OBinaryAlarm, with the user conditions of the AE condition tables). A page made for a
// new object owns it until the sheet gives it to the tag.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/o_tag_alarm.h"
#include "model/tag_sheet/sheet_page.h"

namespace velk {

class AeEventSpace;
class OAnalogAlarm;
class OBinaryAlarm;
class TagPage;

// One row of an alarm page: check box, value (analog levels only), priority, message text
// and "Ack".
struct AlarmRow {
    bool enabled = false;
    std::string valueText;
    std::string priorityText;
    std::string message;
    bool ack = false;
    bool controlsEnabled = false;
};

class AlarmPage : public SheetPage {
  public:
    void OnFirstDisplay() override;
    virtual OTagAlarm* GetEditedObject() const = 0;
    std::unique_ptr<OTagAlarm> TakeOwnedObject() { return std::move(owned_); }

    std::string nameShown;
    std::string descriptionShown;
    AlarmRow normal;  // "&Return to Normal"
    std::string area;
    std::string classText;

  protected:
    AlarmPage(const TagPage& tagPage, std::unique_ptr<OTagAlarm> owned)
        : tagPage_(tagPage), owned_(std::move(owned)) {}
    OTagAlarm* OwnedObject() const { return owned_.get(); }
    // The check-box rule of a row: ticking enables its controls (and, unless the page is
    // loading, ticks "Ack"); clearing disables them and empties them.
    void ApplyRowRule(AlarmRow& row, bool hasValue) const;
    // The fields every alarm has: the normal row (its enable and acknowledge bit 15) and
    // the area. Saving leaves the enable and acknowledge words to the page.
    void LoadBase(const OTagAlarm& alarm);
    void SaveBase(OTagAlarm& alarm) const;

    std::uint32_t readNormalPriority_ = 0;

  private:
    const TagPage& tagPage_;
    std::unique_ptr<OTagAlarm> owned_;
};

class AnaAlarmPage final : public AlarmPage {
  public:
    // Fields: the four "Value" fields are 0 to 3, their "Priority" fields 4 to 7.
    enum Field {
        kFieldValue = 0,
        kFieldPriority = 4,
        kFieldNormalPriority = 8,
        kFieldClass,
        kFieldDeadband,
        kFieldOnDelay
    };

    AnaAlarmPage(const TagPage& tagPage, OAnalogAlarm* edited);

    std::optional<FieldError> ReadEntries() override;
    void Transfer(bool save) override;
    void OnFirstDisplay() override;
    OTagAlarm* GetEditedObject() const override;
    // The check box of level 0 to 3 ("&LoLo", "Lo&w", "&High", "H&iHi"), of "&Return to
    // Normal".
    void OnLevelToggled(int level, bool ticked);
    void OnNormalToggled(bool ticked);

    std::array<AlarmRow, 4> levels;
    std::string deadbandText;  // "Deadband:", engineering units, 0 or more
    std::string onDelayText;   // "On-Delay (ms):"

  private:
    OAnalogAlarm* edited_;
    double readDeadband_ = 0.0;
    std::uint32_t readOnDelay_ = 0;
    std::array<double, 4> readLimits_{};
    std::array<std::uint32_t, 4> readPriorities_{};
    std::int32_t readClass_ = 0;
};

class BinAlarmPage final : public AlarmPage {
  public:
    enum Field { kFieldAlarmPriority = 1, kFieldNormalPriority, kFieldClass };

    // The condition lists come from the given tables.
    BinAlarmPage(const TagPage& tagPage, OBinaryAlarm* edited, const AeEventSpace& space);

    std::optional<FieldError> ReadEntries() override;
    void Transfer(bool save) override;
    void OnFirstDisplay() override;
    OTagAlarm* GetEditedObject() const override;
    void OnAlarmToggled(bool ticked);
    void OnNormalToggled(bool ticked);
    // A position of the "Condition:" list: 0 "(default)", then the user conditions.
    void OnConditionChosen(int position);
    // True when a user condition (not "(default)") is chosen.
    bool UserConditionChosen() const { return conditionPosition > 0; }

    AlarmRow alarmRow;  // "&Alarm" with its priority, message and "Ack"
    bool state = false;
    std::string source;
    std::vector<std::string> conditionNames;     // "(default)" first
    std::vector<std::string> subconditionNames;  // of the chosen condition
    int conditionPosition = 0;                   // -1: the stored condition is not listed
    int subconditionPosition = -1;               // -1: none chosen
    bool simpleCondition = false;
    bool simpleConditionEnabled = false;

  private:
    std::uint16_t ConditionIndexAt(int position) const;
    std::uint16_t FirstSubconditionOf(std::uint16_t conditionIndex) const;
    std::uint32_t SavedUserCondition() const;

    OBinaryAlarm* edited_;
    const AeEventSpace& space_;
    std::uint32_t loadedUserCondition_ = 0;
    int loadedSubconditionPosition_ = -1;
    std::uint32_t readAlarmPriority_ = 0;
    std::uint32_t readClass_ = 0;
};

// The low half stored for a user condition that has no sub-conditions: it names no
// sub-condition, so the choice reads back as the same condition.
inline constexpr std::uint16_t kNoSubcondition = 0xFFFF;

}  // namespace velk
