#pragma once
// The tag dialogs the main window opens: the tag property sheet, "Multiply Tag" and
// "Copying Tag". The main window and the document's UI reach them only through this
// interface, so the dialogs live in gui/tag_sheet/ and the window in gui/ without knowing
// each other's classes.
#include <string>

#include "model/document_ui.h"

class QWidget;

namespace velk {

class CDoc;
class OModbusTag;

namespace gui {

class ITagSheetDialogs {
  public:
    virtual ~ITagSheetDialogs() = default;
    // The property sheet for a tag of the document. For a new tag (not yet in its group)
    // OK leaves the entries in the tag and the document inserts it; for an existing tag OK
    // applies them to the tag (scan lists and values under the document's locks). False on
    // Cancel: the tag and its objects are as they were.
    virtual bool EditTag(QWidget* parent, CDoc& document, OModbusTag& tag, bool isNewTag) = 0;
    // "Multiply Tag" for a tag of the document: makes the copies the user asks for.
    virtual void MultiplyTag(QWidget* parent, CDoc& document, OModbusTag& tag) = 0;
    // "Copying Tag" for a pasted or dropped tag whose name an existing tag has; for Rename
    // the entered name is put in newName.
    virtual CopyTagChoice AskCopyTag(QWidget* parent, const OModbusTag& pasted,
                                     const OModbusTag& existing, std::string& newName) = 0;
};

}  // namespace gui
}  // namespace velk
