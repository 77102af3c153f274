#pragma once
// The configuration document: the port list and the root group whose subgroups are the
// devices, the document tag list, the selection and the editing operations with their
// naming rules and messages. Dialogs and message boxes are reached through IDocumentUi;
// the file through IDocumentStorage.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/ae_event_space.h"
#include "model/document_observer.h"
#include "model/document_services.h"
#include "model/document_ui.h"
#include "model/locks.h"
#include "model/model_settings.h"
#include "model/o_device.h"
#include "model/o_port.h"
#include "model/o_tag_group.h"

namespace velk {

class IAdminCheck;
class IClock;
class IDeviceLifecycle;
class IDocumentStorage;
class IDocumentUi;
class IFileReader;
class IMonitorThread;
class IServerCounts;

// Message texts of the document.
inline constexpr const char* kMsgClientsConnected =
    "Cannot change files while OPC Clients are connected to this server.";
inline constexpr const char* kMsgDeviceExists = "Device Already Exist!";
inline constexpr const char* kMsgGroupDots = "Group's Name does not accept Dots!";
inline constexpr const char* kMsgGroupExists = "Group Already Exist!";
inline constexpr const char* kMsgTagDots = "Tag Name does not Accept Dots!";
inline constexpr const char* kMsgTagExists = "Tag Already Exist!";

// What the document is given at creation. Null members are optional.
struct CDocServices {
    IDocumentUi* ui = nullptr;
    const IAdminCheck* admin = nullptr;
    const IServerCounts* counts = nullptr;
    IDocumentStorage* storage = nullptr;
    const IClock* clock = nullptr;
    IMonitorThread* monitor = nullptr;
    IDeviceLifecycle* lifecycle = nullptr;
    // The user condition file is loaded into this event space (the document's own when
    // none is given) when the document is created, looked for in conditionDirectories in
    // order; without a file reader nothing is loaded.
    AeEventSpace* eventSpace = nullptr;
    IFileReader* files = nullptr;
    // The document's TreeLock and TagDataLock (its own when none are given): whoever hosts
    // the document hands the same to the acquisition and the servers that read it.
    ModelLocks* locks = nullptr;
    std::vector<std::string> conditionDirectories;
};

class CDoc final : public OObject, public IAppDocument {
  public:
    // Creates the document; loads the user condition file (telling the user when it cannot
    // be opened). The configuration starts empty; OnNewDocument fills in the ports.
    CDoc(CDocServices services, ModelSettings settings);
    ~CDoc() override;
    CDoc(const CDoc&) = delete;
    CDoc& operator=(const CDoc&) = delete;

    const char* GetRuntimeClass() const override { return "CDoc"; }
    std::uint16_t GetSchema() const override { return kDocumentSchema; }

    // IAppDocument.
    bool OpenDocument(const std::string& path) override { return OnOpenDocument(path); }
    bool NewDocument() override { return OnNewDocument(); }
    bool IsMonitorRunning() const override { return monitorRunning.load(); }
    void StopMonitor() override;

    // File New: refused (message) while the COM lock count is non-zero.
    bool OnNewDocument();
    // File Open: the same refusal; the file is read through the storage. On failure the
    // storage's message is shown and the configuration is as after New.
    bool OnOpenDocument(const std::string& path);
    // File Save / Save As through the storage; false (message shown) on failure.
    bool OnSaveDocument(const std::string& path);

    // Editing commands. Each needs an administrator and returns true when it changed the
    // configuration.
    bool AddDevice();
    // The group joins the selection and becomes the selection (a refused duplicate selects
    // the existing group); silent (imports) skips the dialog, its messages and the
    // delimiter test.
    bool AddGroup(const std::string& groupName, bool silent);
    bool AddTag();
    // Pastes tags read from the "Modbus" clipboard format into the selected group.
    bool PasteTags(std::vector<std::unique_ptr<OModbusTag>> tags);
    // The same into a group of the tree (a drop of dragged tags on a node).
    bool PasteTagsInto(OTagGroup& group, std::vector<std::unique_ptr<OModbusTag>> tags);
    bool DeleteSelection();
    // Deletes the given tags of the selected group (their OPC reference counts must be 0).
    bool DeleteTags(const std::vector<OModbusTag*>& tags);
    // True when DeleteTags would delete every one of the tags (none is refused): a move of
    // tags asks this before it pastes them anywhere.
    bool CanDeleteTags(const std::vector<OModbusTag*>& tags) const;
    // Edit Properties on the selected device or group.
    bool EditSelectionProperties();
    bool EditDeviceProperties(ODevice& device);
    bool EditGroupProperties(OTagGroup& group);
    // Edit Ports, and the port dialog fixed on one port (from the device dialog).
    bool EditPorts(OPort* fixedPort = nullptr);
    // View Monitor: starts or stops the live monitor; needs at least one device to start.
    void ToggleMonitor();

    // The tag at a path (device, groups and tag joined by the delimiter), and the device
    // the search went on in; none for a path that names no tag. Takes TreeLock.
    OModbusTag* FindTag(const std::string& path, const std::string& delimiter,
                        ODevice** deviceOut = nullptr) const;
    // The first device of that name (ASCII case ignored).
    ODevice* FindDevice(const std::string& deviceName) const;
    std::vector<ODevice*> Devices() const;
    std::vector<OPort*> Ports() const;
    // The tag and the device alarm of an AE condition cookie, or none.
    OModbusTag* FindTagById(std::uint32_t id) const;
    ODeviceAlarm* FindDeviceAlarmById(std::uint32_t id, ODevice** deviceOut = nullptr) const;

    // Views.
    void AddObserver(IDocumentObserver* observer);
    void RemoveObserver(IDocumentObserver* observer);
    void UpdateAllViews(int hint, OObject* item = nullptr);

    // Tree building, used by the file reader and the importers (TreeLock held by them).
    // Clears the tree: devices (from the tail) and ports, tag list, selection, numbers.
    void ClearContents();
    // Appends ports COM1 to COM16 with the default settings.
    void AddDefaultPorts();
    // A tag joins a group: group and device references set, document tag list appended,
    // scan lists updated. The tag must already be in the group's tag list.
    void RegisterTag(OTagGroup& owner, OModbusTag* tag);
    // Takes a tag or a whole group/device out of every list and destroys it.
    void DestroyTag(OTagGroup& owner, const OModbusTag* tag);
    void DestroyGroup(std::unique_ptr<OTagGroup> group);
    // After a load: walking the tree depth first, every group becomes its subgroups'
    // parent and its tags' group, every tag gets its group's device and joins that
    // device's scan lists where it belongs.
    void LinkLoadedTree();
    // A device that joins the tree is guarded by the document's locks from then on.
    void AdoptDevice(ODevice& device);
    // The names of the enabled ports, in port-list order.
    std::vector<std::string> EnabledPortNames() const;

    // TreeLock and TagDataLock of this document: its devices, the acquisition that reads
    // them and the OPC server objects that serve them take these.
    ModelLocks& Locks() const { return *services_.locks; }
    // How many times tags or groups left the tree destroyed; read under TreeLock. Pointers
    // into the tree taken under an earlier hold are valid while it is unchanged, so a
    // reader that lets TreeLock go between parts of its work checks it when it takes it back.
    std::uint64_t Destructions() const { return destructions_; }
    // The AE condition tables the document's user condition file was loaded into.
    AeEventSpace& EventSpace() const { return *services_.eventSpace; }

    const ModelSettings& Settings() const { return settings_; }
    void SetSettings(ModelSettings settings) { settings_ = std::move(settings); }
    bool IsModified() const { return modified_; }
    void SetModified(bool modified = true) { modified_ = modified; }
    const std::string& PathName() const { return pathName_; }
    void SetPathName(std::string path) { pathName_ = std::move(path); }

    // The document's fields.
    OTagGroup rootGroup;
    std::vector<std::unique_ptr<OPort>> portList;
    std::vector<OModbusTag*> documentTagList;  // every tag of the tree once, joining order
    OTagGroup* selection = nullptr;            // a device or a group, or none
    std::uint16_t nextDeviceNumber = 1;
    std::atomic<bool> monitorRunning{false};
    bool batchFlag = false;  // imports: no view notification per change
    std::string lastCsvPath;
    std::int32_t csvFilterIndex = 0;
    std::string lastResPath;

  private:
    bool IsAdministrator() const;
    std::int32_t ComLockCount() const;
    std::int32_t ClientCount() const;
    FileTime Now() const;
    void Show(const std::string& text);
    bool NameHasDelimiter(const std::string& name) const;
    // Tells the views that the document moved the selection to another node (or none).
    void SelectionChanged();
    void LoadUserConditions();
    void ResetAsNew();
    void ClearRememberedPaths();
    void LinkGroup(OTagGroup& group);
    void RemoveFromDocumentList(const std::vector<const OModbusTag*>& tags);
    void InsertPastedTag(OTagGroup& group, std::unique_ptr<OModbusTag> tag);
    // The device dialog's values of a device, and the communication alarms' part of them
    // written back.
    static DeviceDialogValues DialogValuesOf(const ODevice& device);
    static void ApplyCommAlarms(const DeviceDialogValues& values, ODevice& device);
    // Stops the live monitor while an edit runs; true when it has to be restarted.
    bool PauseMonitor();

    ModelLocks ownLocks_;
    AeEventSpace ownEventSpace_;
    CDocServices services_;
    ModelSettings settings_;
    std::vector<IDocumentObserver*> observers_;
    bool modified_ = false;
    std::uint64_t destructions_ = 0;  // under TreeLock
    std::string pathName_;
};

}  // namespace velk
