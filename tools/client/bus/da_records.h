#pragma once
// The records that the DA server's bus interfaces exchange, in the client's own types.
#include <cstdint>
#include <string>
#include <vector>

#include "opc/opc_result.h"
#include "tools/client/lib/client_value.h"
#include "tools/client/lib/result_codes.h"

namespace velk::client {

inline constexpr std::uint32_t OPC_DS_CACHE = 1;
inline constexpr std::uint32_t OPC_DS_DEVICE = 2;
inline constexpr std::uint32_t OPC_BROWSE_UP = 1;
inline constexpr std::uint32_t OPC_BROWSE_DOWN = 2;
inline constexpr std::uint32_t OPC_BROWSE_TO = 3;
inline constexpr std::uint32_t OPC_BRANCH = 1;
inline constexpr std::uint32_t OPC_LEAF = 2;
inline constexpr std::uint32_t OPC_FLAT = 3;
inline constexpr std::uint32_t OPC_READABLE = 1;
inline constexpr std::uint32_t OPC_WRITEABLE = 2;

struct ServerStatus {
    std::uint64_t startTime = 0;
    std::uint64_t currentTime = 0;
    std::uint64_t lastUpdateTime = 0;
    std::uint32_t serverState = 0;
    std::uint32_t groupCount = 0;
    std::uint32_t bandWidth = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
    std::uint16_t buildNumber = 0;
    std::string vendorInfo;
};

struct PropertyInfo {
    std::uint32_t id = 0;
    std::string description;
    VarType type = VT_EMPTY;
};

struct PropertyValue {
    ClientValue value;
    ResultCode error = 0;
};

struct GroupCreated {
    ResultCode result = 0;  // S_OK or OPC_S_UNSUPPORTEDRATE
    std::string path;
    std::uint32_t serverHandle = 0;
    std::uint32_t revisedUpdateRate = 0;
};

struct DeviceMonitorRow {
    std::string label;
    std::uint32_t total = 0;
    std::uint32_t primary = 0;
    std::uint32_t secondary = 0;
    bool totalOnly = false;
};

struct DeviceMonitorEntry {
    std::string device;
    bool secondaryActive = false;
    std::string primaryName;
    std::string secondaryName;
    std::vector<DeviceMonitorRow> rows;
};

struct ItemDefinition {
    std::string itemId;
    bool active = true;
    std::uint32_t clientHandle = 0;
    VarType requestedType = VT_EMPTY;
};

struct ItemResult {
    std::uint32_t serverHandle = 0;
    VarType canonicalType = VT_EMPTY;
    std::uint32_t accessRights = 0;
};

struct AddItemsOutcome {
    ResultCode result = 0;
    std::vector<ItemResult> items;
    std::vector<ResultCode> errors;
};

struct ItemState {
    std::uint32_t clientHandle = 0;
    std::uint64_t timestamp = 0;
    std::uint16_t quality = 0;
    ClientValue value;
};

struct ReadOutcome {
    ResultCode result = 0;
    std::vector<ItemState> states;
    std::vector<ResultCode> errors;
};

struct WriteOutcome {
    ResultCode result = 0;
    std::vector<ResultCode> errors;
};

struct ItemChange {
    std::uint32_t clientHandle = 0;
    ClientValue value;
    std::uint16_t quality = 0;
    std::uint64_t timestamp = 0;
    ResultCode error = 0;
};

// One OnDataChange or OnReadComplete call.
struct DataChange {
    std::uint32_t transactionId = 0;
    std::uint32_t clientGroup = 0;
    ResultCode masterQuality = 0;
    ResultCode masterError = 0;
    std::vector<ItemChange> items;
};

}  // namespace velk::client
