#pragma once
// What the document asks of the user interface: message boxes, the property dialogs and
// the monitor's refresh timer. The GUI implements it; tests drive the document with a
// double. Every call is modal and made on the main thread.
#include <string>
#include <vector>

#include "model/comm_alarms_dialog_model.h"
#include "model/o_device_params.h"

namespace velk {

class OModbusTag;
class OPort;

// What the "Device Properties" dialog edits.
struct DeviceDialogValues {
    std::string name;
    std::string description;
    ODeviceParams params;
    std::int32_t simulationEnabled = 0;
    // "Comm. &Alarms...": the four communication alarms.
    std::array<CommAlarmSettings, kCommAlarmCount> commAlarms{};
};

// The buttons of the "Copying Tag" dialog.
enum class CopyTagChoice { Rename, Overwrite, Skip, Cancel };

class IDocumentUi {
  public:
    virtual ~IDocumentUi() = default;
    // A modal message box with one of the document's fixed texts.
    virtual void ShowMessage(const std::string& text) = 0;
    // The same with the error icon (the import's faults of the file's format).
    virtual void ShowError(const std::string& text) { ShowMessage(text); }
    // The "Device Properties" dialog; the port lists offer the enabled ports' names. The
    // dialog validates its fields itself. False on Cancel.
    virtual bool EditDeviceProperties(DeviceDialogValues& values,
                                      const std::vector<std::string>& enabledPortNames) = 0;
    // The "Group Properties" dialog. False on Cancel.
    virtual bool EditGroupProperties(std::string& name, std::string& description) = 0;
    // The tag property sheet for a new tag (not yet in its group). False on Cancel.
    virtual bool EditTagProperties(OModbusTag& tag) = 0;
    // The "Copying Tag" dialog for a pasted tag whose name an existing one has; for Rename
    // the entered name is put in newName.
    virtual CopyTagChoice AskCopyTag(const OModbusTag& pasted, const OModbusTag& existing,
                                     std::string& newName) = 0;
    // The "Port Properties" dialog over the port list; fixedPort limits it to one port.
    // It writes values with OPort::ApplyDialogValues (they stay even after Cancel).
    virtual void EditPortProperties(const std::vector<OPort*>& ports, OPort* fixedPort) = 0;
    // The monitor's 500 ms refresh timer on the main view.
    virtual bool StartMonitorRefreshTimer() = 0;
    virtual void StopMonitorRefreshTimer() = 0;
};

}  // namespace velk
