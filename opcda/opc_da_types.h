#pragma once
// Constants and records of the OPC Data Access interfaces, as the DA server object and its
// groups exchange them with the bus adaptor.
#include <cstdint>
#include <string>

#include "model/variant.h"
#include "opcda/opc_value.h"
#include "platform/clock.h"
#include "platform/hresult.h"

namespace velk {

// Data sources of reads and refreshes.
inline constexpr std::uint32_t OPC_DS_CACHE = 1;
inline constexpr std::uint32_t OPC_DS_DEVICE = 2;

// Browse directions, browse filters and namespace kinds.
inline constexpr std::uint32_t OPC_BROWSE_UP = 1;
inline constexpr std::uint32_t OPC_BROWSE_DOWN = 2;
inline constexpr std::uint32_t OPC_BROWSE_TO = 3;
inline constexpr std::uint32_t OPC_BRANCH = 1;
inline constexpr std::uint32_t OPC_LEAF = 2;
inline constexpr std::uint32_t OPC_FLAT = 3;
inline constexpr std::uint32_t OPC_NS_HIERARCHIAL = 1;
inline constexpr std::uint32_t OPC_NS_FLAT = 2;

// Item access rights and engineering-unit kinds.
inline constexpr std::uint32_t OPC_READABLE = 1;
inline constexpr std::uint32_t OPC_WRITEABLE = 2;
inline constexpr std::uint32_t OPC_NOENUM = 0;
inline constexpr std::uint32_t OPC_ANALOG = 1;

inline constexpr std::uint32_t OPC_STATUS_RUNNING = 1;
inline constexpr std::uint32_t LOCALE_SYSTEM_DEFAULT = 0x0800;

// Qualities produced by the groups themselves.
inline constexpr std::uint16_t kQualityNotConnected = 0x0008;

// Data-object results and format fields.
inline constexpr HRESULT OLE_E_NOCONNECTION = MakeResult(0x80040003u);
inline constexpr HRESULT DV_E_FORMATETC = MakeResult(0x80040064u);
inline constexpr HRESULT DV_E_TYMED = MakeResult(0x80040069u);
inline constexpr std::uint32_t DVASPECT_CONTENT = 1;
inline constexpr std::uint32_t TYMED_HGLOBAL = 1;

// The three stream formats; the bus adaptor registers them by these names.
inline constexpr std::uint32_t kFormatData = 0xC100;
inline constexpr std::uint32_t kFormatDataTime = 0xC101;
inline constexpr std::uint32_t kFormatWriteComplete = 0xC102;
inline constexpr const char* kFormatDataName = "OPCSTMFORMATDATA";
inline constexpr const char* kFormatDataTimeName = "OPCSTMFORMATDATATIME";
inline constexpr const char* kFormatWriteCompleteName = "OPCSTMFORMATWRITECOMPLETE";

struct FORMATETC {
    std::uint32_t cfFormat = 0;
    bool hasTargetDevice = false;
    std::uint32_t aspect = DVASPECT_CONTENT;
    std::int32_t index = -1;
    std::uint32_t tymed = TYMED_HGLOBAL;
};

struct OPCITEMDEF {
    std::string accessPath;
    std::string itemID;
    bool active = true;
    std::uint32_t hClient = 0;
    VarType requestedDataType = VT_EMPTY;
};

struct OPCITEMRESULT {
    std::uint32_t hServer = 0;
    VarType canonicalDataType = VT_EMPTY;
    std::uint16_t reserved = 0;
    std::uint32_t accessRights = 0;
    std::uint32_t blobSize = 0;
};

struct OPCITEMSTATE {
    std::uint32_t hClient = 0;
    FileTime timestamp = 0;
    std::uint16_t quality = 0;
    std::uint16_t reserved = 0;
    Variant value;
};

struct OPCITEMATTRIBUTES {
    std::string accessPath;
    std::string itemID;
    bool active = false;
    std::uint32_t hClient = 0;
    std::uint32_t hServer = 0;
    std::uint32_t accessRights = 0;
    std::uint32_t blobSize = 0;
    VarType requestedDataType = VT_EMPTY;
    VarType canonicalDataType = VT_EMPTY;
    std::uint32_t euType = OPC_NOENUM;
    OpcValue euInfo;
};

struct OPCSERVERSTATUS {
    FileTime startTime = 0;
    FileTime currentTime = 0;
    FileTime lastUpdateTime = 0;
    std::uint32_t serverState = OPC_STATUS_RUNNING;
    std::uint32_t groupCount = 0;
    std::uint32_t bandWidth = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
    std::uint16_t buildNumber = 0;
    std::string vendorInfo;
};

// One property of an item: id, description and type.
struct ItemPropertyInfo {
    std::uint32_t id = 0;
    std::string description;
    VarType type = VT_EMPTY;
};

}  // namespace velk
