#include "gui/tag_sheet/tag_sheet_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include "gui/application_title.h"
#include "gui/tag_sheet/alarm_page_widgets.h"
#include "gui/tag_sheet/connection_page_widget.h"
#include "gui/tag_sheet/scaling_page_widgets.h"
#include "gui/tag_sheet/widget_binding.h"
#include "model/tag_sheet/tag_dialog.h"

namespace velk::gui {
namespace {

constexpr unsigned kLanguageGerman = 1031;
constexpr unsigned kLanguageEnglish = 1033;

SheetPageWidget* MakeScalingWidget(ScalingPage& page, QWidget* parent) {
    if (auto* analog = dynamic_cast<AnaScalingPage*>(&page))
        return new AnaScalingWidget(*analog, parent);
    return new BinScalingWidget(dynamic_cast<BinScalingPage&>(page), parent);
}

SheetPageWidget* MakeAlarmWidget(AlarmPage& page, QWidget* parent) {
    if (auto* analog = dynamic_cast<AnaAlarmPage*>(&page))
        return new AnaAlarmWidget(*analog, parent);
    return new BinAlarmWidget(dynamic_cast<BinAlarmPage&>(page), parent);
}

const char* const kTabNames[3] = {"Connection", "Scaling", "Alarm"};

}  // namespace

void ShowMessageBox(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, kApplicationTitle, text);
}

TagSheetWindow::TagSheetWindow(TagDialog& sheet, ShowMessageFn showMessage, OpenHelpFn openHelp,
                               QWidget* parent)
    : QDialog(parent),
      sheet_(sheet),
      showMessage_(std::move(showMessage)),
      openHelp_(std::move(openHelp)) {
    setWindowTitle(kTagSheetCaption);
    tabs_ = new QTabWidget(this);
    tabs_->addTab(new ConnectionPageWidget(sheet.Connection(), tabs_), kTabNames[0]);
    MatchPageWidgets();
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &TagSheetWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TagSheetWindow::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &TagSheetWindow::Help);
    new QShortcut(QKeySequence::HelpContents, this, [this] { Help(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    connect(tabs_, &QTabWidget::currentChanged, this, &TagSheetWindow::OnTabChosen);
}

SheetPageWidget* TagSheetWindow::PageWidget(int page) const {
    return static_cast<SheetPageWidget*>(tabs_->widget(page));
}

void TagSheetWindow::ChoosePage(int page) { tabs_->setCurrentIndex(page); }

void TagSheetWindow::MatchPageWidgets() {
    if (&sheet_.Scaling() == shownScaling_ && &sheet_.Alarm() == shownAlarm_) return;
    const bool wasSetting = settingTab_;
    settingTab_ = true;
    while (tabs_->count() > 1) {
        QWidget* old = tabs_->widget(1);
        tabs_->removeTab(1);
        delete old;
    }
    tabs_->addTab(MakeScalingWidget(sheet_.Scaling(), tabs_), kTabNames[1]);
    tabs_->addTab(MakeAlarmWidget(sheet_.Alarm(), tabs_), kTabNames[2]);
    shownScaling_ = &sheet_.Scaling();
    shownAlarm_ = &sheet_.Alarm();
    settingTab_ = wasSetting;
}

void TagSheetWindow::OnTabChosen(int page) {
    if (settingTab_) return;
    if (auto error = sheet_.SelectPage(page)) {
        ShowRefusal(*error);
        return;
    }
    MatchPageWidgets();
    settingTab_ = true;
    tabs_->setCurrentIndex(page);
    settingTab_ = false;
    PageWidget(page)->Refresh();
}

void TagSheetWindow::ShowRefusal(const PageFieldError& error) {
    settingTab_ = true;
    tabs_->setCurrentIndex(error.page);
    settingTab_ = false;
    showMessage_(this, ToQString(error.error.message));
    if (QWidget* field = PageWidget(error.page)->FieldWidget(error.error.field)) {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    }
}

void TagSheetWindow::accept() {
    if (auto error = sheet_.Ok()) {
        ShowRefusal(*error);
        return;
    }
    QDialog::accept();
}

void TagSheetWindow::Help() {
    const bool german = QLocale::system().language() == QLocale::German;
    if (openHelp_) openHelp_(sheet_.HelpAddress(german ? kLanguageGerman : kLanguageEnglish));
}

}  // namespace velk::gui
