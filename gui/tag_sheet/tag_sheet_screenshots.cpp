#include "gui/tag_sheet/tag_sheet_screenshots.h"

#include <QPixmap>
#include <QString>
#include <memory>

#include "gui/tag_sheet/copy_tag_window.h"
#include "gui/tag_sheet/multiply_tag_window.h"
#include "gui/tag_sheet/tag_sheet_window.h"
#include "model/c_doc.h"
#include "model/locks.h"
#include "model/o_analog_data.h"
#include "model/tag_sheet/copy_tag_dialog.h"
#include "model/tag_sheet/duplicate_tag_dialog.h"
#include "model/tag_sheet/tag_dialog.h"

namespace velk::gui {
namespace {

// A copy of the document's first tag of the kind, or a sample one: the windows edit the
// copy, so the document stays as it is.
std::unique_ptr<OModbusTag> ShownTag(CDoc& document, bool analog) {
    auto copy = std::make_unique<OModbusTag>();
    const OModbusTag* found = nullptr;
    {
        std::lock_guard<std::recursive_mutex> tree(document.Locks().tree);
        document.rootGroup.ForEachTag([&](const OModbusTag* tag) {
            if (found == nullptr && tag->IsBool() != analog) found = tag;
        });
        if (found != nullptr) {
            std::lock_guard<std::recursive_mutex> data(document.Locks().tagData);
            copy->CopyFrom(*found);
            return copy;
        }
    }
    if (analog) {
        copy->name = "Level";
        copy->description = "Tank level";
        copy->locationKind = kHoldingRegister;
        copy->address = 9;
        copy->SetDataType(VT_I2);
        copy->size = 1;
        copy->scaling->conversion = OAnalogData::kLinear;
    } else {
        copy->name = "Pump";
        copy->description = "Feed pump running";
        copy->address = 4;
    }
    return copy;
}

bool Save(QWidget& window, const std::string& path) {
    window.adjustSize();
    return window.grab().save(QString::fromStdString(path), "PNG");
}

}  // namespace

std::vector<std::string> RenderTagSheetScreenshots(const std::string& dir, CDoc& document) {
    std::vector<std::string> written;
    auto keep = [&](QWidget& window, const std::string& name) {
        const std::string path = dir + "/" + name + ".png";
        if (Save(window, path)) written.push_back(path);
    };
    // File names as the main window's pictures have them: the window's title in lower case,
    // words joined by hyphens.
    const char* const pages[3] = {"connection", "scaling", "alarm"};
    const ShowMessageFn noMessage = [](QWidget*, const QString&) {};
    for (const bool analog : {true, false}) {
        auto tag = ShownTag(document, analog);
        TagDialog sheet(*tag, document.EventSpace());
        TagSheetWindow window(sheet, noMessage, {}, nullptr);
        for (int page = 0; page < 3; ++page) {
            window.ChoosePage(page);
            keep(window,
                 std::string("tag-properties-") + (analog ? "analog-" : "binary-") + pages[page]);
        }
    }
    auto analog = ShownTag(document, true);
    CDuplicateTagDialog multiply;
    multiply.Open(*analog);
    MultiplyTagWindow multiplyWindow(multiply, noMessage, nullptr);
    keep(multiplyWindow, "multiply-tag");
    auto received = ShownTag(document, true);
    received->locationKind = kInputRegister;
    received->scaling->conversion = 0;
    const CCopyTagDlg copy(*received, *analog);
    CopyTagWindow copyWindow(copy, nullptr);
    keep(copyWindow, "copying-tag");
    return written;
}

}  // namespace velk::gui
