#pragma once
// The tag dialogs of a build without the tag property sheet (gui/tag_sheet/): the sheet
// and "Multiply Tag" tell the user they are missing, "Copying Tag" asks with a plain
// question box. The real dialogs replace this in velkopc_main.cpp.
#include "gui/tag_sheet_dialogs.h"

namespace velk::gui {

inline constexpr const char* kTagSheetMissing = "The tag property sheet is not part of this build.";

class FallbackTagDialogs final : public ITagSheetDialogs {
  public:
    bool EditTag(QWidget* parent, CDoc& document, OModbusTag& tag, bool isNewTag) override;
    void MultiplyTag(QWidget* parent, CDoc& document, OModbusTag& tag) override;
    CopyTagChoice AskCopyTag(QWidget* parent, const OModbusTag& pasted, const OModbusTag& existing,
                             std::string& newName) override;
};

}  // namespace velk::gui
