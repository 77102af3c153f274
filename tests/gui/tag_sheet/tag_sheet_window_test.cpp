#include "gui/tag_sheet/tag_sheet_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "gui/tag_sheet/copy_tag_window.h"
#include "gui/tag_sheet/scaling_page_widgets.h"
#include "gui/tag_sheet/tag_sheet_dialogs_impl.h"
#include "gui/tag_sheet/tag_sheet_screenshots.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/o_binary_data.h"
#include "model/tag_sheet/tag_dialog.h"
#include "tests/model/model_tree.h"

namespace velk::gui {
namespace {

class TagSheetWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tag_sheet_window_tests";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr) app_ = new QApplication(argc, argv);
    }

    ShowMessageFn Recorder() {
        return [this](QWidget*, const QString& text) { messages.push_back(text.toStdString()); };
    }
    static void Type(QWidget* window, const char* field, const QString& text) {
        auto* edit = window->findChild<QLineEdit*>(field);
        ASSERT_NE(edit, nullptr) << field;
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    // Runs the action on the modal window that the next call opens.
    static void OnModal(std::function<void(QWidget*)> action) {
        QTimer::singleShot(0, [action] { action(QApplication::activeModalWidget()); });
    }

    static inline QApplication* app_ = nullptr;
    std::vector<std::string> messages;
};

TEST_F(TagSheetWindowTest, RefusedLocationKeepsTheSheetOpenOnItsField) {
    OModbusTag tag;
    AeEventSpace space;
    TagDialog sheet(tag, space);
    TagSheetWindow window(sheet, Recorder(), {}, nullptr);
    window.show();
    Type(&window, "address", "1x");
    window.findChild<QPushButton*>("ok")->click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(window.result(), QDialog::Accepted);
    EXPECT_EQ(messages, std::vector<std::string>{"Enter a positive integer."});
    EXPECT_EQ(window.focusWidget(), window.findChild<QLineEdit*>("address"));
    EXPECT_EQ(tag.address, 0);
}

TEST_F(TagSheetWindowTest, CancelAfterAPageSwitchLeavesTheTagAndItsObjects) {
    OModbusTag tag;
    tag.scaling->conversion = OBinaryData::kInverted;
    const OTagData* scaling = tag.scaling.get();
    const OTagAlarm* alarm = tag.alarm.get();
    AeEventSpace space;
    TagDialog sheet(tag, space);
    TagSheetWindow window(sheet, Recorder(), {}, nullptr);
    window.show();
    auto* location = window.findChild<QComboBox*>("location");
    location->setCurrentIndex(kHoldingRegister);
    emit location->activated(kHoldingRegister);
    window.ChoosePage(TagDialog::kPageScaling);
    EXPECT_NE(dynamic_cast<AnaScalingWidget*>(window.PageWidget(TagDialog::kPageScaling)), nullptr);
    EXPECT_EQ(window.findChild<QLineEdit*>("rawMax")->text(), "10000");
    window.findChild<QPushButton*>("cancel")->click();
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_EQ(tag.locationKind, kOutputCoil);
    EXPECT_EQ(tag.dataType, VT_BOOL);
    EXPECT_EQ(tag.scaling.get(), scaling);
    EXPECT_EQ(tag.scaling->conversion, OBinaryData::kInverted);
    EXPECT_EQ(tag.alarm.get(), alarm);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TagSheetWindowTest, PropertiesRefuseANameAnotherTagHas) {
    CDoc doc(CDocServices{}, ModelSettings{});
    ODevice& device = velk::testing::InsertDevice(doc.rootGroup, "PLC1");
    for (const char* name : {"Alpha", "Beta"}) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = name;
        OModbusTag* added = tag.get();
        device.InsertTagByName(tag);
        doc.RegisterTag(device, added);
    }
    OModbusTag& beta = *device.FindOwnTag("Beta");
    TagSheetDialogs dialogs(Recorder());
    OnModal([](QWidget* window) {
        Type(window, "name", "ALPHA");
        Type(window, "address", "7");
        window->findChild<QPushButton*>("ok")->click();
    });
    EXPECT_FALSE(dialogs.EditTag(nullptr, doc, beta, false));
    EXPECT_EQ(messages, std::vector<std::string>{"Tag Already Exist!"});
    EXPECT_EQ(beta.name, "Beta");
    EXPECT_EQ(beta.address, 0);

    OnModal([](QWidget* window) {
        Type(window, "name", "Gamma");
        window->findChild<QPushButton*>("ok")->click();
    });
    EXPECT_TRUE(dialogs.EditTag(nullptr, doc, beta, false));
    EXPECT_EQ(beta.name, "Gamma");
}

TEST_F(TagSheetWindowTest, MultiplyRefusesACountOutOfRangeThenMakesTheSeries) {
    CDoc doc(CDocServices{}, ModelSettings{});
    ODevice& device = velk::testing::InsertDevice(doc.rootGroup, "PLC1");
    auto pump = std::make_unique<OModbusTag>();
    pump->name = "Pump";
    OModbusTag* selected = pump.get();
    device.InsertTagByName(pump);
    doc.RegisterTag(device, selected);
    TagSheetDialogs dialogs(Recorder());
    OnModal([this](QWidget* window) {
        Type(window, "count", "0");
        window->findChild<QPushButton*>("ok")->click();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(messages, std::vector<std::string>{"Enter an integer between 1 and 9999."});
        Type(window, "count", "2");
        window->findChild<QPushButton*>("ok")->click();
    });
    dialogs.MultiplyTag(nullptr, doc, *selected);
    EXPECT_NE(device.FindOwnTag("Pump001"), nullptr);
    EXPECT_NE(device.FindOwnTag("Pump002"), nullptr);
    EXPECT_EQ(device.tagList.size(), 3u);
}

TEST_F(TagSheetWindowTest, CopyingTagRenameReturnsTheEnteredName) {
    OModbusTag pasted;
    pasted.name = "Level";
    OModbusTag existing;
    existing.name = "Level";
    TagSheetDialogs dialogs(Recorder());
    OnModal([](QWidget* window) {
        Type(window, "name", "Level2");
        for (auto* button : window->findChildren<QPushButton*>())
            if (button->text() == "&Rename") button->click();
    });
    std::string newName;
    EXPECT_EQ(dialogs.AskCopyTag(nullptr, pasted, existing, newName), CopyTagChoice::Rename);
    EXPECT_EQ(newName, "Level2");
}

TEST_F(TagSheetWindowTest, ScreenshotsAreWrittenForEveryWindow) {
    CDoc doc(CDocServices{}, ModelSettings{});
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto files = RenderTagSheetScreenshots(dir.path().toStdString(), doc);
    EXPECT_EQ(files.size(), 8u);
    for (const std::string& file : files)
        EXPECT_GT(QFileInfo(QString::fromStdString(file)).size(), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/copying-tag.png"));
    EXPECT_TRUE(doc.rootGroup.tagList.empty());
}

}  // namespace
}  // namespace velk::gui
