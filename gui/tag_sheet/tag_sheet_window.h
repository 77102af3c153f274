#pragma once
// The "Tag Properties" window over a TagDialog: the three page tabs, OK, Cancel and Help.
// Leaving a tab or pressing OK reads the page; a refused entry shows its message and puts
// the user back on its field. Changing the location can replace the Scaling and Alarm tabs.
#include <QDialog>

#include "gui/tag_sheet/dialog_callbacks.h"

class QTabWidget;

namespace velk {
class TagDialog;
struct PageFieldError;
}  // namespace velk

namespace velk::gui {

class SheetPageWidget;

class TagSheetWindow final : public QDialog {
  public:
    TagSheetWindow(TagDialog& sheet, ShowMessageFn showMessage, OpenHelpFn openHelp,
                   QWidget* parent);

    void accept() override;
    // Shows a page as if the user chose its tab (for the screenshots and the tests).
    void ChoosePage(int page);
    SheetPageWidget* PageWidget(int page) const;

  private:
    void OnTabChosen(int page);
    void ShowRefusal(const PageFieldError& error);
    void MatchPageWidgets();
    void Help();

    TagDialog& sheet_;
    ShowMessageFn showMessage_;
    OpenHelpFn openHelp_;
    QTabWidget* tabs_;
    const void* shownScaling_ = nullptr;  // the page models the tabs show
    const void* shownAlarm_ = nullptr;
    bool settingTab_ = false;
};

}  // namespace velk::gui
