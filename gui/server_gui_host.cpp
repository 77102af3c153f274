#include "gui/server_gui_host.h"

#include "app/opc_app.h"
#include "app/server/acquisition_host.h"
#include "app/server/document_host.h"
#include "core/settings_access.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"

namespace velk::gui {

bool ServerGuiHost::IsAdministrator() const { return parts_.app.IsAdministrator(); }

std::int32_t ServerGuiHost::ComLockCount() const {
    return static_cast<std::int32_t>(parts_.app.ComLockCount());
}

std::int32_t ServerGuiHost::ClientCount() const {
    return static_cast<std::int32_t>(parts_.app.ClientCount());
}

CDoc& ServerGuiHost::Document() { return *parts_.document.Existing(); }

ServerObjectCounts ServerGuiHost::ServerCounts() {
    return CountServerObjects(parts_.app.Servers());
}

std::vector<DeviceMonitorModel> ServerGuiHost::DeviceMonitor() {
    return parts_.acquisition.DeviceMonitor();
}

void ServerGuiHost::Exit() { parts_.app.OnExitCommand(); }

RecentFileList& ServerGuiHost::RecentFiles() { return parts_.app.RecentFiles(); }

void ServerGuiHost::FileOpened() { parts_.app.OnFileOpened(); }

ServerSettings ServerGuiHost::Settings() const { return parts_.app.Settings().Get(); }

bool ServerGuiHost::ApplyOptions(OptionsDialogModel& model, IMessageBox& messages) {
    SettingsAccess machine(parts_.machineStore);
    if (!model.Ok(parts_.app.Settings(), machine, parts_.admin, messages)) return false;
    // The new options take effect now: the document's path delimiter and AE source names,
    // the trace file's name (at its next rotation) and size (at its next write).
    const ServerSettings settings = parts_.app.Settings().Get();
    if (CDoc* document = parts_.document.Existing()) {
        ModelSettings model = document->Settings();
        model.areaDelimiter = settings.AreaDelimiter;
        model.fullTagPath = settings.FullTagPath;
        document->SetSettings(model);
    }
    parts_.app.ApplyChangedSettings();
    return true;
}

bool ServerGuiHost::ApplySparkplug(SparkplugDialogModel& model, IMessageBox& messages) {
    SettingsAccess machine(parts_.machineStore);
    return model.Ok(parts_.app.Settings(), machine, parts_.admin, messages);
}

bool ServerGuiHost::ApplyOpcUa(UaDialogModel& model, IMessageBox& messages) {
    SettingsAccess machine(parts_.machineStore);
    return model.Ok(parts_.app.Settings(), machine, parts_.admin, messages);
}

ExchangeServices ServerGuiHost::Exchange() {
    ExchangeServices services;
    services.ui = &ui_;
    services.reader = &parts_.reader;
    services.writer = &parts_.documentFiles;
    services.clock = &parts_.clock;
    return services;
}

}  // namespace velk::gui
