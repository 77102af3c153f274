#pragma once
// The document's dialogs where nobody can answer them: the server without a display and the
// configuration tool. Every dialog is answered with Cancel, the monitor's refresh timer is
// refused, and a message goes to the function given (the message box, standard error).
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "model/document_ui.h"

namespace velk {

class HeadlessDocumentUi final : public IDocumentUi {
  public:
    explicit HeadlessDocumentUi(std::function<void(const std::string&)> show)
        : show_(std::move(show)) {}

    void ShowMessage(const std::string& text) override {
        if (show_) show_(text);
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
    std::function<void(const std::string&)> show_;
};

}  // namespace velk
