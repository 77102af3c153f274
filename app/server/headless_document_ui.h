#pragma once
// The document's dialogs in a process without a display: messages go to the message box
// (standard error and the trace); every dialog is answered with Cancel.
#include "model/document_ui.h"
#include "platform/session.h"

namespace velk {

class HeadlessDocumentUi final : public IDocumentUi {
  public:
    explicit HeadlessDocumentUi(IMessageBox& messages) : messages_(messages) {}
    void ShowMessage(const std::string& text) override {
        messages_.Show(text, MessageKind::Information);
    }
    bool EditDeviceProperties(DeviceDialogValues&, const std::vector<std::string>&) override {
        return false;
    }
    bool EditGroupProperties(std::string&, std::string&) override { return false; }
    bool EditTagProperties(OModbusTag&) override { return false; }
    CopyTagChoice AskCopyTag(const OModbusTag&, const OModbusTag&, std::string&) override {
        return CopyTagChoice::Cancel;
    }
    void EditPortProperties(const std::vector<OPort*>&, OPort*) override {}
    bool StartMonitorRefreshTimer() override { return false; }
    void StopMonitorRefreshTimer() override {}

  private:
    IMessageBox& messages_;
};

}  // namespace velk
