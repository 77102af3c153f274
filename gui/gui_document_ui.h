#pragma once
// The document's dialogs with a display: message boxes, the device, group and port dialogs,
// the tag dialogs (through ITagSheetDialogs) and the monitor's refresh timer on the tag
// list. Made before the main window; its dialogs take the window as parent once it exists.
#include <functional>

#include "gui/qt_message_box.h"
#include "model/document_ui.h"

class QWidget;

namespace velk {
class CDoc;
}

namespace velk::gui {

class ITagSheetDialogs;
class TagListView;

class GuiDocumentUi final : public IDocumentUi {
  public:
    explicit GuiDocumentUi(ITagSheetDialogs& tagDialogs) : tagDialogs_(tagDialogs) {}

    // The window the dialogs belong to, its tag list (the refresh timer's owner) and the
    // document the tag sheet edits.
    void Attach(QWidget* window, TagListView* tagList, CDoc* document);
    // "&IP address..." of the device dialog; without it the button stays disabled.
    void SetIpAddressEditor(std::function<void(QWidget*, ODeviceParams&)> editor) {
        ipEditor_ = std::move(editor);
    }
    IMessageBox& Messages() { return messages_; }

    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool EditDeviceProperties(DeviceDialogValues& values,
                              const std::vector<std::string>& enabledPortNames) override;
    bool EditGroupProperties(std::string& name, std::string& description) override;
    bool EditTagProperties(OModbusTag& tag) override;
    CopyTagChoice AskCopyTag(const OModbusTag& pasted, const OModbusTag& existing,
                             std::string& newName) override;
    void EditPortProperties(const std::vector<OPort*>& ports, OPort* fixedPort) override;
    bool StartMonitorRefreshTimer() override;
    void StopMonitorRefreshTimer() override;

  private:
    ITagSheetDialogs& tagDialogs_;
    QtMessageBox messages_;
    QWidget* window_ = nullptr;
    TagListView* tagList_ = nullptr;
    CDoc* document_ = nullptr;
    std::function<void(QWidget*, ODeviceParams&)> ipEditor_;
};

}  // namespace velk::gui
