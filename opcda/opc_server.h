#pragma once
// The DA server object: one per client connection. Owns the client's groups, answers status
// and locale queries, browses the configuration tree as a hierarchical address space,
// reports item properties and carries the client's shutdown sinks.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "opc/client_quota.h"
#include "opc/opc_common.h"
#include "opc/opc_result.h"
#include "opc/server_objects.h"
#include "opc/sink_connections.h"
#include "opcda/c_enum_item_ids.h"
#include "opcda/client_sinks.h"
#include "opcda/opc_da_types.h"
#include "opcda/opc_group.h"

namespace velk {

class IClock;
class ITagIO;
class DeviceWorkers;
class OTagGroup;
class ODevice;
class OModbusTag;
struct ModelLocks;

// What one client may hold at once (the ClientLimits settings): of one server object, or of
// every server object of one client connection when the host shares the quotas among them
// (DAClientQuotas).
struct DAClientLimits {
    std::uint32_t maxGroups = 1000;    // groups
    std::uint32_t maxItems = 200000;   // items in all groups
    std::uint32_t maxRequests = 1000;  // asynchronous requests waiting or running
    std::uint32_t maxObjects = 16;     // DA server objects of one connection (the host's)
};

// The quotas that the server objects of one client connection share; a null one is the
// object's own, made from its limits.
struct DAClientQuotas {
    std::shared_ptr<ClientQuota> groups;
    std::shared_ptr<ClientQuota> items;
    std::shared_ptr<ClientQuota> requests;
};

// Values shared by every DA server object, handed in by the application.
struct DAServerSettings {
    bool changelessUpdate = false;        // the ChangelessUpdate setting
    std::string itemPathDelimiter = ".";  // the AreaDelimiter setting
    FileTime startTime = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
    std::uint16_t buildNumber = 0;
    std::string vendorInfo;
    // true: the groups' update cycles run on the workers' update pool; false: the host runs
    // them itself (RunUpdateCycle).
    bool runUpdateCycles = true;
    // Who the object serves, for the trace line of its creation ("" when unknown).
    std::string client;
    DAClientLimits limits;
};

struct DAServerServices {
    IClock* clock = nullptr;
    ITagIO* tagIO = nullptr;
    IServerObjectRegistry* registry = nullptr;  // may be null (no application)
    OTagGroup* root = nullptr;                  // the configuration tree's root group
    // The request workers and device readers; null: the server object makes its own,
    // which its groups keep alive.
    std::shared_ptr<DeviceWorkers> workers;
    IWorkerLauncher* launcher = nullptr;  // the request workers instead of the pool's (tests)
    ModelLocks* locks = nullptr;          // the document's TreeLock and TagDataLock; required
    DAClientQuotas quotas = {};           // shared with the client's other objects
};

enum class EnumInterface { String, Unknown, Other };

// The tag an item ID names: split at the first "." into a device name (ASCII case ignored)
// and the path below the device; null when there is none. TreeLock is held by the caller.
OModbusTag* FindItemTag(const OTagGroup& root, const std::string& itemID, ODevice** device);

class OPCServer final : public IDAServerObject,
                        public IOPCCommon,
                        public std::enable_shared_from_this<OPCServer> {
  public:
    // A new object, entered in the application's list (which counts it as a client).
    static std::shared_ptr<OPCServer> Create(DAServerServices services, DAServerSettings settings);
    ~OPCServer() override;
    OPCServer(const OPCServer&) = delete;
    OPCServer& operator=(const OPCServer&) = delete;

    // IOPCServer. A null or empty name is generated ("Group%d"); OPC_E_DUPLICATENAME for a
    // name in use; OPC_S_UNSUPPORTEDRATE when the revised rate differs from the requested one;
    // E_OUTOFMEMORY when the client has its limit of groups (a group that was removed counts
    // until it is gone); E_FAIL when its update cycles cannot be run. Constant time in the
    // number of groups.
    HRESULT AddGroup(const std::string* name, bool active, std::uint32_t requestedRate,
                     std::uint32_t hClientGroup, const std::int32_t* timeBias,
                     const float* percentDeadband, std::uint32_t lcid,
                     std::shared_ptr<OPCGroup>* group, std::uint32_t* hServerGroup,
                     std::uint32_t* revisedRate);
    HRESULT GetErrorString(HRESULT code, std::uint32_t locale, std::string* text);
    HRESULT GetGroupByName(const std::string* name, std::shared_ptr<OPCGroup>* group);
    HRESULT GetStatus(OPCSERVERSTATUS* status);
    HRESULT RemoveGroup(std::uint32_t hServerGroup, bool force);
    HRESULT CreateGroupEnumerator(std::uint32_t scope, EnumInterface kind,
                                  std::vector<std::string>* names,
                                  std::vector<std::shared_ptr<OPCGroup>>* groups);

    // IOPCCommon. GetErrorString fails with E_FAIL: the server holds no texts for DA codes.
    HRESULT SetLocaleID(std::uint32_t lcid) override;
    HRESULT GetLocaleID(std::uint32_t* lcid) override;
    HRESULT QueryAvailableLocaleIDs(std::vector<std::uint32_t>* lcids) override;
    HRESULT GetErrorString(HRESULT code, std::string* text) override;
    HRESULT SetClientName(const std::string& name) override;

    // IOPCBrowseServerAddressSpace.
    HRESULT QueryOrganization(std::uint32_t* organization);
    HRESULT ChangeBrowsePosition(std::uint32_t direction, const std::string& text);
    HRESULT BrowseOPCItemIDs(std::uint32_t filterType, const std::string& filterCriteria,
                             VarType dataTypeFilter, std::uint32_t accessRightsFilter,
                             std::unique_ptr<CEnumItemIDs>* enumerator);
    HRESULT GetItemID(const std::string& name, std::string* itemID);
    HRESULT BrowseAccessPaths(const std::string& itemID);

    // IOPCItemProperties.
    HRESULT QueryAvailableProperties(const std::string* itemID,
                                     std::vector<ItemPropertyInfo>* properties);
    HRESULT GetItemProperties(const std::string* itemID, const std::vector<std::uint32_t>& ids,
                              std::vector<OpcValue>* values, std::vector<HRESULT>* errors);
    HRESULT LookupItemIDs(const std::string* itemID, const std::vector<std::uint32_t>& ids,
                          std::vector<std::string>* newItemIDs, std::vector<HRESULT>* errors);

    // The IOPCShutdown connection point.
    HRESULT AdviseShutdown(std::shared_ptr<IClientSink> sink, std::uint32_t* cookie);
    HRESULT UnadviseShutdown(std::uint32_t cookie);

    // Asks the first shutdown connection to disconnect; S_FALSE when none was called.
    int RequestClientShutdown(const std::string& reason) override;

    // The groups' side: a rename under the table lock; false when another group has the name.
    bool RenameGroup(OPCGroup& group, const std::string& name);
    std::size_t GroupCount() const override;
    FileTime LastUpdateTime() const { return lastUpdate_->load(); }

  private:
    OPCServer(DAServerServices services, DAServerSettings settings);

    // place: the group's unit of the client's bound on groups (null for a temporary group).
    std::shared_ptr<OPCGroup> NewGroup(std::uint32_t handle, std::shared_ptr<void> place);
    // "Group%d" with the first free number (table lock held).
    std::string GenerateGroupName();
    bool IsNameUsed(const std::string& name, const OPCGroup* except) const;
    // The name index (table lock held).
    void EnterName(const std::string& name, std::uint32_t handle);
    void ForgetName(const std::string& name);
    // The node a browse path names from the root, or null.
    OTagGroup* BranchAtPath(const std::string& path) const;

    // Item resolution through a temporary group; S_OK fills what was asked for.
    struct ResolvedItem {
        OModbusTag* tag = nullptr;
        OPCITEMRESULT result;
        OPCITEMATTRIBUTES attributes;
        OPCITEMSTATE state;
        std::uint32_t revisedRate = 0;
    };
    HRESULT ResolveItem(const std::string& itemID, bool readFromDevice, ResolvedItem& out);

    DAServerServices services_;
    DAServerSettings settings_;
    std::shared_ptr<std::atomic<FileTime>> lastUpdate_ = std::make_shared<std::atomic<FileTime>>(0);

    std::shared_ptr<DeviceWorkers> workers_;
    std::shared_ptr<ClientQuota> groupQuota_;
    std::shared_ptr<ClientQuota> items_;
    std::shared_ptr<ClientQuota> requests_;

    mutable std::recursive_mutex tableLock_;
    std::map<std::uint32_t, std::shared_ptr<OPCGroup>> groups_;
    // Group names to handles, so that a name is checked or found without a walk of the
    // table; and the lowest number that "Group%d" may still find free.
    std::unordered_map<std::string, std::uint32_t> names_;
    std::uint32_t lowestFreeNumber_ = 1;
    std::uint32_t nextGroupHandle_ = 1;

    std::mutex browseLock_;
    OTagGroup* position_ = nullptr;

    SinkConnections<IClientSink> shutdownSinks_;
};

}  // namespace velk
