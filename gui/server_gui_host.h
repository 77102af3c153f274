#pragma once
// IGuiHost over the running server: the application object, the document host and the
// acquisition.
#include "app/server/server_front.h"
#include "gui/gui_host.h"

namespace velk::gui {

class ServerGuiHost final : public IGuiHost {
  public:
    ServerGuiHost(const ServerParts& parts, IDocumentUi& ui) : parts_(parts), ui_(ui) {}

    bool IsAdministrator() const override;
    std::int32_t ComLockCount() const override;
    std::int32_t ClientCount() const override;
    CDoc& Document() override;
    ServerObjectCounts ServerCounts() override;
    std::vector<DeviceMonitorModel> DeviceMonitor() override;
    void Exit() override;
    RecentFileList& RecentFiles() override;
    void FileOpened() override;
    ServerSettings Settings() const override;
    bool ApplyOptions(OptionsDialogModel& model, IMessageBox& messages) override;
    bool ApplySparkplug(SparkplugDialogModel& model, IMessageBox& messages) override;
    bool ApplyOpcUa(UaDialogModel& model, IMessageBox& messages) override;
    ISettingsStore& UserStore() override { return parts_.userStore; }
    ExchangeServices Exchange() override;

  private:
    ServerParts parts_;
    IDocumentUi& ui_;
};

}  // namespace velk::gui
