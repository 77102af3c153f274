#pragma once
// What the main window and its dialogs reach of the running server: the document, the
// user's rights, the client count, the server-object counts, the Device Monitor's data, the
// settings and the close rule. The server program gives the real one; tests and the
// screenshot run give their own.
#include <cstdint>
#include <string>
#include <vector>

#include "app/opcua/ua_dialog_model.h"
#include "app/options_dialog_model.h"
#include "app/recent_file_list.h"
#include "app/server_settings.h"
#include "app/sparkplug/sparkplug_dialog_model.h"
#include "exchange/exchange_services.h"
#include "modbus/device_monitor_model.h"
#include "model/document_services.h"
#include "opc/server_statistics.h"
#include "platform/session.h"

namespace velk {

class CDoc;
class ISettingsStore;

namespace gui {

class IGuiHost : public IAdminCheck, public IServerCounts {
  public:
    // The document; it exists before the main window is made.
    virtual CDoc& Document() = 0;
    virtual ServerObjectCounts ServerCounts() = 0;
    virtual std::vector<DeviceMonitorModel> DeviceMonitor() = 0;
    // The Exit command and the window's close: the close rule of the application.
    virtual void Exit() = 0;
    virtual RecentFileList& RecentFiles() = 0;
    // A File Open command opened a configuration (the machine-wide recent-file list follows).
    virtual void FileOpened() {}
    virtual ServerSettings Settings() const = 0;
    // The Options dialog's OK: checks, stores and applies the settings; false (message
    // shown) keeps the dialog open.
    virtual bool ApplyOptions(OptionsDialogModel& model, IMessageBox& messages) = 0;
    // The "Sparkplug B" dialog's OK, the same way (the settings take effect at the next start).
    virtual bool ApplySparkplug(SparkplugDialogModel& model, IMessageBox& messages) = 0;
    // The "OPC UA" dialog's OK, the same way.
    virtual bool ApplyOpcUa(UaDialogModel& model, IMessageBox& messages) = 0;
    // The per-user store ("ApplicationLook", the recent files).
    virtual ISettingsStore& UserStore() = 0;
    // The file access and services of the CSV and RES commands.
    virtual ExchangeServices Exchange() = 0;
};

}  // namespace gui
}  // namespace velk
