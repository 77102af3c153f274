#include "gui/tag_sheet/tag_sheet_dialogs_impl.h"

#include <mutex>

#include "gui/tag_sheet/copy_tag_window.h"
#include "gui/tag_sheet/multiply_tag_window.h"
#include "gui/tag_sheet/tag_sheet_window.h"
#include "gui/tag_sheet/widget_binding.h"
#include "model/c_doc.h"
#include "model/locks.h"
#include "model/tag_sheet/copy_tag_dialog.h"
#include "model/tag_sheet/tag_dialog.h"

namespace velk::gui {

TagSheetDialogs::TagSheetDialogs(ShowMessageFn showMessage, OpenHelpFn openHelp)
    : showMessage_(showMessage ? std::move(showMessage) : ShowMessageFn(ShowMessageBox)),
      openHelp_(std::move(openHelp)) {}

bool TagSheetDialogs::EditTag(QWidget* parent, CDoc& document, OModbusTag& tag, bool isNewTag) {
    TagDialog sheet(tag, document.EventSpace());
    TagSheetWindow window(sheet, showMessage_, openHelp_, parent);
    if (window.exec() != QDialog::Accepted) return false;
    if (isNewTag || tag.group == nullptr) {
        // The document checks the new tag's name when it inserts it.
        sheet.ApplyToTag();
        return true;
    }
    std::optional<std::string> refusal;
    {
        // The name is tree data: the rename is checked and applied under TreeLock, which
        // comes before the TagDataLock that ApplyToTag takes.
        std::lock_guard<std::recursive_mutex> tree(document.Locks().tree);
        refusal = TagRenameRefusal(*tag.group, tag, sheet.Connection().name,
                                   document.Settings().areaDelimiter);
        if (!refusal) sheet.ApplyToTag();
    }
    if (refusal) {
        showMessage_(parent, ToQString(*refusal));
        return false;
    }
    return true;
}

void TagSheetDialogs::MultiplyTag(QWidget* parent, CDoc& document, OModbusTag& tag) {
    multiply_.Open(tag);
    MultiplyTagWindow window(multiply_, showMessage_, parent);
    if (window.exec() != QDialog::Accepted) return;
    multiply_.Multiply(document, tag,
                       [&](const std::string& text) { showMessage_(parent, ToQString(text)); });
}

CopyTagChoice TagSheetDialogs::AskCopyTag(QWidget* parent, const OModbusTag& pasted,
                                          const OModbusTag& existing, std::string& newName) {
    const CCopyTagDlg dialog(pasted, existing);
    CopyTagWindow window(dialog, parent);
    window.exec();
    if (window.Choice() == CopyTagChoice::Rename) newName = window.EnteredName();
    return window.Choice();
}

}  // namespace velk::gui
