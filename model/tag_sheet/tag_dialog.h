#pragma once
// The tag property sheet "Tag Properties" without its windows: the Connection page, the
// scaling and alarm pages that fit the chosen location, the page changes, and ApplyToTag.
// The sheet changes nothing of the tag until ApplyToTag; the objects it made for switched
// pages die with it unless ApplyToTag gave them to the tag.
#include <memory>
#include <optional>
#include <string>

#include "model/locks.h"
#include "model/tag_sheet/alarm_pages.h"
#include "model/tag_sheet/scaling_pages.h"
#include "model/tag_sheet/tag_page.h"

namespace velk {

class AeEventSpace;
class OModbusTag;
class OTagGroup;

inline constexpr const char* kTagSheetCaption = "Tag Properties";

// A refused entry and the page it is on.
struct PageFieldError {
    int page = 0;
    FieldError error;
};

class TagDialog {
  public:
    enum Page { kPageConnection = 0, kPageScaling = 1, kPageAlarm = 2 };

    // Builds the pages on the tag's objects (under TagDataLock) and shows the Connection
    // page. The binary pages for a BOOL tag, the analog pages otherwise.
    TagDialog(OModbusTag& tag, const AeEventSpace& conditions);
    TagDialog(const TagDialog&) = delete;
    TagDialog& operator=(const TagDialog&) = delete;

    TagPage& Connection() { return tagPage_; }
    ScalingPage& Scaling() { return *scalingPage_; }
    AlarmPage& Alarm() { return *alarmPage_; }
    // True while the analog pages are shown.
    bool AnalogPagesShown() const { return analog_; }
    int ActivePage() const { return active_; }

    // Leaves the active page for another one: its entries are read first, and a refused
    // entry keeps the user on it. Leaving the Connection page brings the scaling and alarm
    // pages that fit its location kind (new ones, with defaults, when the kind changed).
    std::optional<PageFieldError> SelectPage(int page);
    // OK: reads the active page as leaving it would. Nothing is applied yet.
    std::optional<PageFieldError> Ok();
    // Writes the sheet into the tag under TagDataLock: the Connection page, the value in the
    // new data type, the scaling and alarm objects (a page never shown leaves its object as
    // it was, or new with its defaults after a switch), and, for a tag of a group, the device's
    // scan lists (a new tag joins them with its group). A value that the new data type
    // cannot hold becomes that type's zero with bad quality.
    void ApplyToTag();

    // The help topic of the active page, and the full help address for a system language.
    std::string HelpTopic() const;
    std::string HelpAddress(unsigned languageId) const;

  private:
    std::recursive_mutex& DataLock();
    std::optional<PageFieldError> LeaveActivePage();
    void MakePages(bool analog, bool onTagObjects);
    SheetPage& PageAt(int page);

    OModbusTag& tag_;
    const AeEventSpace& conditions_;
    ModelLocks ownLocks_;
    TagPage tagPage_;
    std::unique_ptr<ScalingPage> scalingPage_;
    std::unique_ptr<AlarmPage> alarmPage_;
    bool analog_ = false;
    int active_ = kPageConnection;
    bool displayed_[3] = {false, false, false};
};

// The check of a name entered for an existing tag of a group: the message that refuses it,
// or nothing. A name equal to the old one (ASCII case ignored) is not checked.
std::optional<std::string> TagRenameRefusal(const OTagGroup& group, const OModbusTag& tag,
                                            const std::string& newName,
                                            const std::string& delimiter);

}  // namespace velk
