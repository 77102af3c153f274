#pragma once
// Pictures of the tag dialogs for the documentation: the three pages of "Tag Properties"
// for an analog and a binary tag, "Multiply Tag" and "Copying Tag", each grabbed from the
// window without showing it on a screen.
#include <string>
#include <vector>

namespace velk {
class CDoc;
}

namespace velk::gui {

// Writes the PNG files (tag-properties-analog-connection.png, ..., multiply-tag.png,
// copying-tag.png) into dir (which must exist) and returns their paths; a file that
// could not be written is left out. The document's first analog and first binary tag are
// shown when it has them, otherwise sample tags; the document is not changed.
std::vector<std::string> RenderTagSheetScreenshots(const std::string& dir, CDoc& document);

}  // namespace velk::gui
