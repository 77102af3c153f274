#include "gui/gui_document_ui.h"

#include "gui/dialogs/device_dialog.h"
#include "gui/dialogs/group_dialog.h"
#include "gui/dialogs/port_dialog.h"
#include "gui/tag_list_view.h"
#include "gui/tag_sheet_dialogs.h"
#include "model/c_doc.h"

namespace velk::gui {

void GuiDocumentUi::Attach(QWidget* window, TagListView* tagList, CDoc* document) {
    window_ = window;
    tagList_ = tagList;
    document_ = document;
    messages_.SetParent(window);
}

void GuiDocumentUi::ShowMessage(const std::string& text) {
    messages_.Show(text, MessageKind::Information);
}

void GuiDocumentUi::ShowError(const std::string& text) { messages_.Show(text, MessageKind::Error); }

bool GuiDocumentUi::EditDeviceProperties(DeviceDialogValues& values,
                                         const std::vector<std::string>& enabledPortNames) {
    DeviceDialogServices services;
    services.messages = &messages_;
    if (document_ != nullptr) {
        services.ports = [this] { return document_->Ports(); };
        services.editPort = [this](const std::vector<OPort*>& ports, OPort* fixed) {
            EditPortProperties(ports, fixed);
        };
    }
    if (ipEditor_) {
        services.editIpAddresses = [this](ODeviceParams& params) { ipEditor_(window_, params); };
    }
    DeviceDialog dialog(values, enabledPortNames, std::move(services), window_);
    return dialog.exec() == QDialog::Accepted;
}

bool GuiDocumentUi::EditGroupProperties(std::string& name, std::string& description) {
    GroupDialog dialog(QString::fromStdString(name), QString::fromStdString(description), window_);
    if (dialog.exec() != QDialog::Accepted) return false;
    name = dialog.Name().toStdString();
    description = dialog.Description().toStdString();
    return true;
}

bool GuiDocumentUi::EditTagProperties(OModbusTag& tag) {
    if (document_ == nullptr) return false;
    return tagDialogs_.EditTag(window_, *document_, tag, true);
}

CopyTagChoice GuiDocumentUi::AskCopyTag(const OModbusTag& pasted, const OModbusTag& existing,
                                        std::string& newName) {
    return tagDialogs_.AskCopyTag(window_, pasted, existing, newName);
}

void GuiDocumentUi::EditPortProperties(const std::vector<OPort*>& ports, OPort* fixedPort) {
    PortDialog dialog(ports, fixedPort, window_);
    dialog.exec();
}

bool GuiDocumentUi::StartMonitorRefreshTimer() {
    return tagList_ != nullptr && tagList_->StartRefreshTimer();
}

void GuiDocumentUi::StopMonitorRefreshTimer() {
    if (tagList_ != nullptr) tagList_->StopRefreshTimer();
}

}  // namespace velk::gui
