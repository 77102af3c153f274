#pragma once
// The tag dialogs of the main window: the property sheet, "Multiply Tag" and "Copying
// Tag", each a modal window over its model. "Multiply Tag" remembers its entries for as
// long as this object lives (the main window keeps it with the tag list).
#include "gui/tag_sheet/dialog_callbacks.h"
#include "gui/tag_sheet_dialogs.h"
#include "model/tag_sheet/duplicate_tag_dialog.h"

namespace velk::gui {

class TagSheetDialogs final : public ITagSheetDialogs {
  public:
    // Messages go to showMessage (a message box when none is given); Help goes to openHelp.
    explicit TagSheetDialogs(ShowMessageFn showMessage = {}, OpenHelpFn openHelp = {});

    bool EditTag(QWidget* parent, CDoc& document, OModbusTag& tag, bool isNewTag) override;
    void MultiplyTag(QWidget* parent, CDoc& document, OModbusTag& tag) override;
    CopyTagChoice AskCopyTag(QWidget* parent, const OModbusTag& pasted, const OModbusTag& existing,
                             std::string& newName) override;

  private:
    ShowMessageFn showMessage_;
    OpenHelpFn openHelp_;
    CDuplicateTagDialog multiply_;
};

}  // namespace velk::gui
