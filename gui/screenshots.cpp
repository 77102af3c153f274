#include "gui/screenshots.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <QToolBar>
#include <cstdio>
#include <functional>
#include <mutex>

#include "app/file_commands.h"
#include "exchange/exchange_commands.h"
#include "gui/application_look.h"
#include "gui/device_tree_view.h"
#include "gui/dialogs/comm_alarms_dialog.h"
#include "gui/dialogs/device_dialog.h"
#include "gui/dialogs/device_monitor_dialog.h"
#include "gui/dialogs/group_dialog.h"
#include "gui/dialogs/ip_config_dialog.h"
#include "gui/dialogs/options_dialog.h"
#include "gui/dialogs/port_dialog.h"
#include "gui/dialogs/statistics_dialog.h"
#include "gui/exchange_file_dialogs.h"
#include "gui/gui_document_ui.h"
#include "gui/gui_host.h"
#include "gui/main_window.h"
#include "gui/splash.h"
#include "gui/tag_list_view.h"
#include "gui/tag_sheet/tag_sheet_screenshots.h"
#include "gui/toolbar_customize_dialog.h"
#include "install_paths.h"
#include "modbus/network_adapter_list.h"
#include "modbus/tag_simulator.h"
#include "model/ae_event_space.h"
#include "model/b_event.h"
#include "model/c_doc.h"
#include "model/config_file_storage.h"
#include "model/locks.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "platform/linux/posix_document_file_access.h"
#include "platform/linux/posix_file_reader.h"
#include "platform/linux/reg_file_store.h"
#include "platform/linux/system_clock.h"
#include "platform/route_table.h"

namespace velk::gui {
namespace {

class DropEvents final : public IEventPoster {
  public:
    void PostEvent(std::unique_ptr<BEvent>) override {}
};

// The monitor of the pictures: no thread; the values come from the tag simulator.
class PictureMonitor final : public IMonitorThread {
  public:
    bool Start(CDoc&) override { return true; }
    void Join() override {}
};

// Two adapters for the IP address dialog, so that its lists show what a plant host has.
class PictureRoutes final : public IRouteTable {
  public:
    bool Adapters(std::vector<PlatformAdapter>& adapters) override {
        auto address = [](std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
            // Network byte order: the first octet in the lowest byte.
            return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b) << 8 |
                   static_cast<std::uint32_t>(c) << 16 | static_cast<std::uint32_t>(d) << 24;
        };
        PlatformAdapter lan1;
        lan1.interfaceIndex = 2;
        lan1.interfaceType = 6;
        lan1.friendlyName = "eth0";
        lan1.addresses = {{address(192, 168, 10, 5), address(255, 255, 255, 0)}};
        PlatformAdapter lan2 = lan1;
        lan2.interfaceIndex = 3;
        lan2.friendlyName = "eth1";
        lan2.addresses = {{address(10, 1, 1, 5), address(255, 255, 0, 0)}};
        adapters = {lan1, lan2};
        return true;
    }
    std::uint32_t AddRoute(const PlatformRoute&) override { return kRouteOk; }
    bool Routes(std::vector<PlatformRoute>& routes) override {
        routes.clear();
        return true;
    }
    std::uint32_t DeleteRoute(const PlatformRoute&) override { return kRouteOk; }
};

// The server as the pictures show it: an administrator, one DA and one AE client.
class PictureHost final : public IGuiHost {
  public:
    PictureHost(CDoc& document, ISettingsStore& userStore, IDocumentUi& ui)
        : document_(document), userStore_(userStore), ui_(ui) {}
    bool IsAdministrator() const override { return true; }
    std::int32_t ComLockCount() const override { return 0; }
    std::int32_t ClientCount() const override { return 0; }
    CDoc& Document() override { return document_; }
    ServerObjectCounts ServerCounts() override { return {1, 2, 1, 1}; }
    std::vector<DeviceMonitorModel> DeviceMonitor() override {
        std::vector<DeviceMonitorModel> models;
        std::uint32_t n = 1;
        for (const ODevice* device : document_.Devices()) {
            std::array<ChannelCounts, 2> counts{};
            counts[0].sent = 1200 * n;
            counts[0].received = 1198 * n;
            counts[0].timeouts = 2 * n;
            counts[1].sent = 60 * n;
            counts[1].received = 60 * n;
            models.push_back(DeviceMonitorModel::FromCounts(*device, counts));
            ++n;
        }
        return models;
    }
    void Exit() override {}
    RecentFileList& RecentFiles() override { return recent_; }
    ServerSettings Settings() const override { return {}; }
    bool ApplyOptions(OptionsDialogModel&, IMessageBox&) override { return false; }
    bool ApplySparkplug(SparkplugDialogModel&, IMessageBox&) override { return false; }
    bool ApplyOpcUa(UaDialogModel&, IMessageBox&) override { return false; }
    ISettingsStore& UserStore() override { return userStore_; }
    ExchangeServices Exchange() override {
        ExchangeServices services;
        services.ui = &ui_;
        return services;
    }

  private:
    CDoc& document_;
    ISettingsStore& userStore_;
    IDocumentUi& ui_;
    RecentFileList recent_;
};

class PictureAdmin final : public IAdminCheck {
  public:
    bool IsAdministrator() const override { return true; }
};

bool Save(QWidget& widget, const QString& directory, const QString& name) {
    if (!qobject_cast<QMainWindow*>(&widget)) widget.adjustSize();
    widget.show();
    QApplication::processEvents();
    const QString path = QDir(directory).filePath(name + ".png");
    const bool saved = widget.grab().save(path);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
                 qPrintable(path));
    widget.hide();
    return saved;
}

// The tags' own simulation where they have one; tags without get a sine for the picture
// (their configuration is not saved).
void Simulate(CDoc& document, TagSimulator& simulator, IEventPoster& poster) {
    std::lock_guard tree(document.Locks().tree);
    std::lock_guard data(document.Locks().tagData);
    for (OModbusTag* tag : document.documentTagList) {
        if (tag->simulationKind == kSimulationNone) tag->simulationKind = kSimulationSine;
        simulator.Simulate(*tag, poster);
    }
}

}  // namespace

std::string DemoPlantPath() {
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {bin + "/" + VELK_DATA_DIR_FROM_BIN + "/demo/plant.vlk",
                                     bin + "/../../demo/plant.vlk", bin + "/../demo/plant.vlk"}) {
        if (QFileInfo::exists(candidate))
            return QFileInfo(candidate).absoluteFilePath().toStdString();
    }
    return {};
}

int RenderScreenshots(const std::string& directory, const std::string& configuration,
                      ITagSheetDialogs& tagDialogs) {
    const QString folder = QString::fromStdString(directory);
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "velkopc: -Screenshots needs a folder it can write\n");
        return 1;
    }
    const std::string path = configuration.empty() ? DemoPlantPath() : configuration;
    // Nothing of the user's settings is read or written: the pictures show the defaults.
    RegFileStore userStore(QDir(folder).filePath("screenshot-settings.reg").toStdString());
    ApplyApplicationLook(kDefaultLook);

    SystemClock clock;
    PosixDocumentFileAccess files;
    PosixFileReader reader;
    ConfigFileStorage storage(files, &clock);
    PictureAdmin admin;
    PictureMonitor monitor;
    GuiDocumentUi ui(tagDialogs);
    std::vector<std::string> messages;
    QtMessageBox::Record([&messages](const std::string& text, MessageKind) {
        messages.push_back(text);
        return false;
    });
    CDocServices services;
    services.ui = &ui;
    services.admin = &admin;
    services.storage = &storage;
    services.clock = &clock;
    services.monitor = &monitor;
    services.files = &reader;
    CDoc document(services, ModelSettings{});
    if (path.empty() || !document.OnOpenDocument(path)) {
        std::fprintf(stderr, "velkopc: cannot open the configuration %s\n",
                     path.empty() ? "(no demo plant found)" : path.c_str());
        return 1;
    }
    PictureHost host(document, userStore, ui);
    MainWindow window(host, tagDialogs);
    ui.Attach(&window, &window.TagList(), &document);
    window.resize(1000, 600);
    window.UpdateTitle();

    // The first group with tags is shown, with the monitor running on simulated values.
    for (OModbusTag* tag : document.documentTagList) {
        if (tag->group) {
            document.selection = tag->group;
            break;
        }
    }
    document.UpdateAllViews(kHintRebuild);
    DropEvents poster;
    TagSimulator simulator(clock);
    document.ToggleMonitor();
    for (int step = 0; step < 3; ++step) Simulate(document, simulator, poster);
    document.UpdateAllViews(kHintMonitorRefresh);
    window.TagList().StopRefreshTimer();
    if (window.TagList().topLevelItemCount() > 0)
        window.TagList().topLevelItem(0)->setSelected(true);
    window.show();
    QApplication::processEvents();
    window.UpdateCommands();

    bool ok = Save(window, folder, "main-window");
    window.show();

    std::vector<std::pair<QString, std::function<std::unique_ptr<QWidget>()>>> shots;
    shots.emplace_back("server-options",
                       [&] { return std::make_unique<OptionsDialog>(host, &window); });
    ODevice* device = document.Devices().empty() ? nullptr : document.Devices().front();
    DeviceDialogValues deviceValues;
    if (device)
        deviceValues = {device->name, device->description, device->params,
                        device->simulationEnabled};
    shots.emplace_back("device-properties", [&] {
        return std::make_unique<DeviceDialog>(deviceValues, document.EnabledPortNames(),
                                              DeviceDialogServices{}, &window);
    });
    std::array<CommAlarmSettings, kCommAlarmCount> pictureAlarms = deviceValues.commAlarms;
    gui::QtMessageBox pictureMessages;
    shots.emplace_back("communication-alarms", [&] {
        auto dialog = std::make_unique<CommAlarmsDialog>(pictureAlarms, pictureMessages, &window);
        dialog->Model().SetEnabled(2, true, true);
        dialog->Model().SetEnabled(2, false, true);
        dialog->EnableBox(2, true)->setChecked(true);
        return dialog;
    });
    shots.emplace_back("group-properties", [&] {
        const OTagGroup* group = document.selection;
        return std::make_unique<GroupDialog>(
            group ? QString::fromStdString(group->name) : "Group",
            group ? QString::fromStdString(group->description) : "", &window);
    });
    shots.emplace_back("port-properties", [&] {
        return std::make_unique<PortDialog>(document.Ports(), nullptr, &window);
    });
    PictureRoutes routes;
    const NetworkAdapterList adapters(routes);
    shots.emplace_back("ip-configuration", [&] {
        IpAddresses stored{"192.168.10.20", "10.1.1.20", "192.168.10.5", "10.1.1.5"};
        return std::make_unique<IpConfigDialog>(adapters, stored, &window);
    });
    shots.emplace_back("statistics",
                       [&] { return std::make_unique<StatisticsDialog>(host, &window); });
    shots.emplace_back("device-monitor",
                       [&] { return std::make_unique<DeviceMonitorDialog>(host, &window); });
    auto fileDialog = [&](const char* title, const char* filter, bool save) {
        auto dialog = std::make_unique<QFileDialog>(&window, title, folder);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setNameFilters(NameFilters(filter));
        dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog->resize(640, 400);
        return dialog;
    };
    shots.emplace_back("import-csv",
                       [&] { return fileDialog(kImportCsvTitle, kImportCsvFilter, false); });
    shots.emplace_back("export-csv",
                       [&] { return fileDialog(kExportCsvTitle, kExportCsvFilter, true); });
    shots.emplace_back("import-res",
                       [&] { return fileDialog(kImportResTitle, kResFilter, false); });
    shots.emplace_back("open-configuration",
                       [&] { return fileDialog("Open", kDocumentFilter, false); });
    shots.emplace_back("toolbar-customize", [&] { return window.MakeCustomizeDialog(); });
    shots.emplace_back("save-changes", [&] {
        std::string question = kSaveChangesQuestion;
        question.replace(question.find("%1"), 2, DocumentTitle(document));
        auto box = std::make_unique<QMessageBox>(
            QMessageBox::Question, kMainWindowTitle, QString::fromStdString(question),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, &window);
        return box;
    });
    shots.emplace_back("clients-connected", [&] {
        return std::make_unique<QMessageBox>(QMessageBox::Information, kMainWindowTitle,
                                             kMsgClientsConnected, QMessageBox::Ok, &window);
    });
    shots.emplace_back("res-error", [&] {
        return std::make_unique<QMessageBox>(QMessageBox::Critical, kMainWindowTitle,
                                             kMsgNotResDocument, QMessageBox::Ok, &window);
    });
    for (auto& [name, make] : shots) {
        std::unique_ptr<QWidget> dialog = make();
        ok = Save(*dialog, folder, name) && ok;
    }
    QLabel splash;
    splash.setPixmap(SplashPicture());
    ok = Save(splash, folder, "splash") && ok;
    // The tag property sheet's pages for an analog and a binary tag, "Multiply Tag" and
    // "Copying Tag": eight pictures.
    const std::vector<std::string> tagSheets =
        RenderTagSheetScreenshots(folder.toStdString(), document);
    for (const std::string& written : tagSheets) std::printf("wrote %s\n", written.c_str());
    ok = tagSheets.size() == 8 && ok;

    document.StopMonitor();
    QtMessageBox::Record({});
    QFile::remove(QDir(folder).filePath("screenshot-settings.reg"));
    return ok ? 0 : 1;
}

}  // namespace velk::gui
