#include "model/tag_sheet/tag_dialog.h"

#include <mutex>

#include "model/c_doc.h"
#include "model/locks.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "platform/text.h"

namespace velk {
namespace {

constexpr unsigned kLanguageGerman = 1031;

}  // namespace

TagDialog::TagDialog(OModbusTag& tag, const AeEventSpace& conditions)
    : tag_(tag), conditions_(conditions), tagPage_(tag) {
    std::lock_guard<std::recursive_mutex> data(DataLock());
    MakePages(!tag.IsBool(), true);
    tagPage_.OnFirstDisplay();
    displayed_[kPageConnection] = true;
}

void TagDialog::MakePages(bool analog, bool onTagObjects) {
    analog_ = analog;
    if (analog) {
        auto* scaling = onTagObjects ? dynamic_cast<OAnalogData*>(tag_.scaling.get()) : nullptr;
        auto* alarm = onTagObjects ? dynamic_cast<OAnalogAlarm*>(tag_.alarm.get()) : nullptr;
        scalingPage_ = std::make_unique<AnaScalingPage>(tagPage_, scaling);
        alarmPage_ = std::make_unique<AnaAlarmPage>(tagPage_, alarm);
    } else {
        auto* scaling = onTagObjects ? dynamic_cast<OBinaryData*>(tag_.scaling.get()) : nullptr;
        auto* alarm = onTagObjects ? dynamic_cast<OBinaryAlarm*>(tag_.alarm.get()) : nullptr;
        scalingPage_ = std::make_unique<BinScalingPage>(tagPage_, scaling);
        alarmPage_ = std::make_unique<BinAlarmPage>(tagPage_, alarm, conditions_);
    }
    displayed_[kPageScaling] = false;
    displayed_[kPageAlarm] = false;
}

SheetPage& TagDialog::PageAt(int page) {
    if (page == kPageScaling) return *scalingPage_;
    if (page == kPageAlarm) return *alarmPage_;
    return tagPage_;
}

std::optional<PageFieldError> TagDialog::LeaveActivePage() {
    if (auto error = PageAt(active_).ReadEntries()) return PageFieldError{active_, *error};
    if (active_ == kPageConnection && tagPage_.WantsAnalogPages() != analog_)
        MakePages(tagPage_.WantsAnalogPages(), false);
    return std::nullopt;
}

std::optional<PageFieldError> TagDialog::SelectPage(int page) {
    if (page == active_ || page < kPageConnection || page > kPageAlarm) return std::nullopt;
    if (auto error = LeaveActivePage()) return error;
    active_ = page;
    if (!displayed_[page]) {
        PageAt(page).OnFirstDisplay();
        displayed_[page] = true;
    }
    return std::nullopt;
}

std::optional<PageFieldError> TagDialog::Ok() { return LeaveActivePage(); }

std::recursive_mutex& TagDialog::DataLock() {
    // A tag in a device is read by the acquisition under its document's TagDataLock; a new
    // tag is seen by nobody else yet.
    return tag_.device != nullptr ? tag_.device->Locks().tagData : ownLocks_.tagData;
}

void TagDialog::ApplyToTag() {
    std::lock_guard<std::recursive_mutex> data(DataLock());
    const std::uint16_t oldType = tag_.dataType;
    tagPage_.Transfer(true);
    if (tag_.dataType != oldType && !tag_.value.IsEmpty()) {
        Variant converted = tag_.value;
        if (Failed(converted.ChangeType(tag_.dataType))) {
            // The old value has no meaning in the new type; until the next read the tag
            // serves the new type's zero, marked bad.
            converted = Variant();
            converted.ChangeType(tag_.dataType);
            tag_.quality = kQualityBad;
        }
        tag_.value = std::move(converted);
    }

    // A page the user never opened has nothing to save: its fields are the object's own,
    // and saving them would put the page's defaults (a sub-condition of a list never
    // filled, an attribute flag widened to all ones) over what the tag holds.
    if (displayed_[kPageScaling]) scalingPage_->Transfer(true);
    if (scalingPage_->GetEditedObject() != tag_.scaling.get())
        tag_.scaling = scalingPage_->TakeOwnedObject();
    if (displayed_[kPageAlarm]) alarmPage_->Transfer(true);
    if (alarmPage_->GetEditedObject() != tag_.alarm.get())
        tag_.alarm = alarmPage_->TakeOwnedObject();
    // A new tag enters its device's scan lists when it joins its group (AddTag), not before:
    // the device's threads copy those lists and read the tags outside the lock, and a new
    // tag that the group refuses is destroyed at once.
    if (tag_.device != nullptr && tag_.group != nullptr) tag_.device->UpdateScanLists(&tag_);
}

std::string TagDialog::HelpTopic() const {
    if (active_ == kPageScaling) return analog_ ? "velk4be4.htm" : "velk5x64.htm";
    if (active_ == kPageAlarm) {
        if (analog_) return "velk2qy5.htm";
        const auto& binary = static_cast<const BinAlarmPage&>(*alarmPage_);
        return binary.UserConditionChosen() ? "velk2bql.htm" : "velk4cq5.htm";
    }
    return "velk506l.htm";
}

std::string TagDialog::HelpAddress(unsigned languageId) const {
    const bool german = languageId == kLanguageGerman;
    return std::string(german ? "VELKOPC_D.CHM" : "VELKOPC_E.CHM") +
           (german ? "::/ger_html\\" : "::/eng_html\\") + HelpTopic() + ">mainwin";
}

std::optional<std::string> TagRenameRefusal(const OTagGroup& group, const OModbusTag& tag,
                                            const std::string& newName,
                                            const std::string& delimiter) {
    if (EqualsNoCase(newName, tag.name)) return std::nullopt;
    if (!delimiter.empty() && newName.find(delimiter) != std::string::npos) return kMsgTagDots;
    const OModbusTag* other = group.FindOwnTag(newName);
    if (other != nullptr && other != &tag) return kMsgTagExists;
    return std::nullopt;
}

}  // namespace velk
