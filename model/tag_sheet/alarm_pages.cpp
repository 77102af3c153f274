#include "model/tag_sheet/alarm_pages.h"

#include "model/ae_event_space.h"
#include "model/o_analog_alarm.h"
#include "model/o_binary_alarm.h"
#include "model/tag_sheet/tag_page.h"

namespace velk {
namespace {

constexpr std::uint16_t kLevelBits[4] = {OAnalogAlarm::kLoLoBit, OAnalogAlarm::kLowBit,
                                         OAnalogAlarm::kHighBit, OAnalogAlarm::kHiHiBit};
constexpr std::uint16_t kStateBits = OBinaryAlarm::kOnFalse | OBinaryAlarm::kOnTrue;
// User conditions follow the four built-in conditions; the "Condition:" list shows them
// after "(default)", so list position p is condition p + 3.
constexpr std::uint16_t kFirstUserCondition = 4;
constexpr int kConditionListOffset = 3;
// Sub-conditions from this index on come from the user condition file.
constexpr std::uint16_t kFirstUserSubcondition = 8;
constexpr std::uint32_t kMaxBinaryClass = 0x7FFFFFFF;

std::uint16_t Low16(std::uint32_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }

}  // namespace

// --- both alarm pages --------------------------------------------------------------------

void AlarmPage::OnFirstDisplay() {
    nameShown = tagPage_.name;
    descriptionShown = tagPage_.description;
    loading = false;
}

void AlarmPage::ApplyRowRule(AlarmRow& row, bool hasValue) const {
    row.controlsEnabled = row.enabled;
    if (row.enabled) {
        if (!loading) row.ack = true;
        return;
    }
    if (hasValue) row.valueText = "0";
    row.priorityText = "0";
    row.message.clear();
    row.ack = false;
}

void AlarmPage::LoadBase(const OTagAlarm& alarm) {
    normal.enabled = (alarm.enableFlags & kNormalEventBit) != 0;
    normal.ack = (alarm.acknowledgeFlags & kNormalEventBit) != 0;
    readNormalPriority_ = alarm.normalPriority;
    normal.priorityText = std::to_string(alarm.normalPriority);
    normal.message = alarm.normalText;
    normal.controlsEnabled = normal.enabled;
    area = alarm.area;
}

void AlarmPage::SaveBase(OTagAlarm& alarm) const {
    alarm.normalPriority = Low16(readNormalPriority_);
    alarm.normalText = normal.message;
    alarm.area = area;
}

// --- analog ------------------------------------------------------------------------------

AnaAlarmPage::AnaAlarmPage(const TagPage& tagPage, OAnalogAlarm* edited)
    : AlarmPage(tagPage, edited ? nullptr : std::make_unique<OAnalogAlarm>()),
      edited_(edited ? edited : static_cast<OAnalogAlarm*>(OwnedObject())) {
    Transfer(false);
}

OTagAlarm* AnaAlarmPage::GetEditedObject() const { return edited_; }

std::optional<FieldError> AnaAlarmPage::ReadEntries() {
    FieldReader reader;
    auto limits = readLimits_;
    auto priorities = readPriorities_;
    std::uint32_t normalPriority = readNormalPriority_;
    std::int32_t alarmClass = readClass_;
    for (int i = 0; i < 4; ++i) {
        reader.ReadNumber(kFieldValue + i, levels[i].valueText, limits[i]);
        reader.ReadUnsignedInRange(kFieldPriority + i, levels[i].priorityText, 0, kMaxPriority,
                                   priorities[i]);
    }
    reader.ReadUnsignedInRange(kFieldNormalPriority, normal.priorityText, 0, kMaxPriority,
                               normalPriority);
    reader.ReadSigned(kFieldClass, classText, alarmClass);
    double deadband = readDeadband_;
    std::uint32_t onDelay = readOnDelay_;
    reader.ReadNonNegativeNumber(kFieldDeadband, deadbandText, deadband);
    reader.ReadUnsignedInRange(kFieldOnDelay, onDelayText, 0, 0x7FFFFFFF, onDelay);
    if (reader.Error()) return reader.Error();
    readDeadband_ = deadband;
    readOnDelay_ = onDelay;
    readLimits_ = limits;
    readPriorities_ = priorities;
    readNormalPriority_ = normalPriority;
    readClass_ = alarmClass;
    return std::nullopt;
}

void AnaAlarmPage::Transfer(bool save) {
    OAnalogAlarm& a = *edited_;
    if (!save) {
        for (int i = 0; i < 4; ++i) {
            AlarmRow& row = levels[i];
            row.enabled = (a.enableFlags & kLevelBits[i]) != 0;
            row.ack = (a.acknowledgeFlags & kLevelBits[i]) != 0;
            readLimits_[i] = a.levelLimit[i];
            row.valueText = FormatNumberEntry(a.levelLimit[i]);
            readPriorities_[i] = a.levelPriority[i];
            row.priorityText = std::to_string(a.levelPriority[i]);
            row.message = a.levelText[i];
            row.controlsEnabled = row.enabled;
        }
        LoadBase(a);
        readClass_ = a.alarmClass;
        classText = std::to_string(a.alarmClass);
        readDeadband_ = a.deadband;
        deadbandText = FormatNumberEntry(a.deadband);
        readOnDelay_ = a.onDelay;
        onDelayText = std::to_string(a.onDelay);
        return;
    }
    a.deadband = readDeadband_;
    a.onDelay = readOnDelay_;
    std::uint16_t enable = 0;
    std::uint16_t ack = 0;
    for (int i = 0; i < 4; ++i) {
        if (levels[i].enabled) enable |= kLevelBits[i];
        if (levels[i].ack) ack |= kLevelBits[i];
        a.levelLimit[i] = readLimits_[i];
        a.levelPriority[i] = Low16(readPriorities_[i]);
        a.levelText[i] = levels[i].message;
    }
    // The return to normal is only reported for a tag that has a level to return from.
    if (normal.enabled && enable != 0) enable |= kNormalEventBit;
    if (normal.ack) ack |= kNormalEventBit;
    a.enableFlags = enable;
    a.acknowledgeFlags = ack & enable;
    SaveBase(a);
    a.alarmClass = readClass_;
}

void AnaAlarmPage::OnFirstDisplay() {
    for (AlarmRow& row : levels) ApplyRowRule(row, true);
    ApplyRowRule(normal, false);
    AlarmPage::OnFirstDisplay();
}

void AnaAlarmPage::OnLevelToggled(int level, bool ticked) {
    levels[static_cast<std::size_t>(level)].enabled = ticked;
    ApplyRowRule(levels[static_cast<std::size_t>(level)], true);
}

void AnaAlarmPage::OnNormalToggled(bool ticked) {
    normal.enabled = ticked;
    ApplyRowRule(normal, false);
}

// --- binary ------------------------------------------------------------------------------

BinAlarmPage::BinAlarmPage(const TagPage& tagPage, OBinaryAlarm* edited, const AeEventSpace& space)
    : AlarmPage(tagPage, edited ? nullptr : std::make_unique<OBinaryAlarm>()),
      edited_(edited ? edited : static_cast<OBinaryAlarm*>(OwnedObject())),
      space_(space) {
    Transfer(false);
}

OTagAlarm* BinAlarmPage::GetEditedObject() const { return edited_; }

std::uint16_t BinAlarmPage::ConditionIndexAt(int position) const {
    return static_cast<std::uint16_t>(position + kConditionListOffset);
}

std::uint16_t BinAlarmPage::FirstSubconditionOf(std::uint16_t conditionIndex) const {
    const auto& conditions = space_.Conditions();
    return conditionIndex < conditions.size() ? conditions[conditionIndex].firstSubcondition : 0;
}

std::optional<FieldError> BinAlarmPage::ReadEntries() {
    FieldReader reader;
    std::uint32_t alarmPriority = readAlarmPriority_;
    std::uint32_t normalPriority = readNormalPriority_;
    std::uint32_t alarmClass = readClass_;
    reader.ReadUnsignedInRange(kFieldAlarmPriority, alarmRow.priorityText, 0, kMaxPriority,
                               alarmPriority);
    reader.ReadUnsignedInRange(kFieldNormalPriority, normal.priorityText, 0, kMaxPriority,
                               normalPriority);
    // The class is stored signed: above its largest value it would read back negative.
    reader.ReadUnsignedInRange(kFieldClass, classText, 0, kMaxBinaryClass, alarmClass);
    if (reader.Error()) return reader.Error();
    readAlarmPriority_ = alarmPriority;
    readNormalPriority_ = normalPriority;
    readClass_ = alarmClass;
    return std::nullopt;
}

void BinAlarmPage::Transfer(bool save) {
    OBinaryAlarm& a = *edited_;
    if (!save) {
        alarmRow.enabled = (a.enableFlags & kStateBits) != 0;
        state = (a.enableFlags & OBinaryAlarm::kOnTrue) != 0;
        alarmRow.ack = (a.acknowledgeFlags & kStateBits) != 0;
        readAlarmPriority_ = a.alarmPriority;
        alarmRow.priorityText = std::to_string(a.alarmPriority);
        alarmRow.message = a.alarmText;
        alarmRow.controlsEnabled = alarmRow.enabled;
        LoadBase(a);
        source = a.source;
        readClass_ = static_cast<std::uint32_t>(a.alarmClass);
        classText = std::to_string(readClass_);
        loadedUserCondition_ = a.userCondition;
        loadedSubconditionPosition_ = -1;
        if (a.userCondition == 0) {
            conditionPosition = 0;
            simpleCondition = false;
        } else {
            const std::uint16_t condition = a.UserConditionIndex();
            const bool listed =
                condition >= kFirstUserCondition && condition < space_.Conditions().size();
            // A condition the tables no longer hold (another user condition file) is shown
            // as no choice and kept as stored unless the user picks one.
            conditionPosition = listed ? condition - kConditionListOffset : -1;
            loadedSubconditionPosition_ =
                static_cast<int>(a.UserSubconditionIndex()) - FirstSubconditionOf(condition);
            simpleCondition = a.attributeFlag != 0;
        }
        return;
    }
    std::uint16_t enable = 0;
    if (alarmRow.enabled) enable = state ? OBinaryAlarm::kOnTrue : OBinaryAlarm::kOnFalse;
    if (normal.enabled && enable != 0) enable |= kNormalEventBit;
    std::uint16_t ack = 0;
    if (alarmRow.ack) ack |= enable & kStateBits;
    if (normal.ack) ack |= kNormalEventBit;
    a.enableFlags = enable;
    a.acknowledgeFlags = ack & enable;
    a.alarmPriority = Low16(readAlarmPriority_);
    a.alarmText = alarmRow.message;
    SaveBase(a);
    a.source = source;
    a.alarmClass = static_cast<std::int32_t>(readClass_);
    a.userCondition = SavedUserCondition();
    a.attributeFlag = simpleCondition ? 0xFFFFFFFFu : 0u;
}

std::uint32_t BinAlarmPage::SavedUserCondition() const {
    if (conditionPosition == 0) return 0;
    if (conditionPosition < 0) return loadedUserCondition_;
    const std::uint16_t condition = ConditionIndexAt(conditionPosition);
    std::uint16_t sub = kNoSubcondition;
    if (subconditionPosition >= 0) {
        sub = static_cast<std::uint16_t>(FirstSubconditionOf(condition) + subconditionPosition);
    } else if (!subconditionNames.empty() && (loadedUserCondition_ >> 16) == condition) {
        sub = Low16(loadedUserCondition_);  // a stored sub-condition the list does not hold
    }
    return (static_cast<std::uint32_t>(condition) << 16) | sub;
}

void BinAlarmPage::OnFirstDisplay() {
    conditionNames.assign(1, "(default)");
    const auto& conditions = space_.Conditions();
    for (std::size_t i = kFirstUserCondition; i < conditions.size(); ++i)
        conditionNames.push_back(conditions[i].name);
    ApplyRowRule(alarmRow, false);
    if (!alarmRow.enabled) state = false;
    ApplyRowRule(normal, false);
    OnConditionChosen(conditionPosition);
    AlarmPage::OnFirstDisplay();
}

void BinAlarmPage::OnAlarmToggled(bool ticked) {
    alarmRow.enabled = ticked;
    ApplyRowRule(alarmRow, false);
    if (!ticked) state = false;
}

void BinAlarmPage::OnNormalToggled(bool ticked) {
    normal.enabled = ticked;
    ApplyRowRule(normal, false);
}

void BinAlarmPage::OnConditionChosen(int position) {
    conditionPosition = position;
    subconditionNames.clear();
    subconditionPosition = -1;
    simpleConditionEnabled = position > 0;
    if (position < 0) return;
    const std::uint16_t condition = ConditionIndexAt(position);
    const auto& subs = space_.Subconditions();
    for (std::size_t i = kFirstUserSubcondition; i < subs.size(); ++i)
        if (subs[i].conditionIndex == condition) subconditionNames.push_back(subs[i].name);
    const int count = static_cast<int>(subconditionNames.size());
    if (loading) {
        if (loadedSubconditionPosition_ >= 0 && loadedSubconditionPosition_ < count)
            subconditionPosition = loadedSubconditionPosition_;
    } else if (position > 0 && count > 0) {
        subconditionPosition = 0;
    }
    if (!simpleConditionEnabled) simpleCondition = false;
}

}  // namespace velk
