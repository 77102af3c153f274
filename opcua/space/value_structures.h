#pragma once
// The structures served as values of the address space's variables (the EURange and
// EngineeringUnits of an analog item, the Server object's status), with their schema tables.
#include <cstdint>
#include <string>
#include <tuple>

#include "opcua/space/standard_node_ids.h"
#include "opcua/structure_codec.h"

namespace velk::ua {

struct Range {
    double low = 0.0;
    double high = 0.0;
};

struct EUInformation {
    std::string namespaceUri;
    // -1: no UNECE code for the unit (the configuration holds its text only).
    std::int32_t unitId = -1;
    LocalizedText displayName;
    LocalizedText description;
};

struct BuildInfo {
    std::string productUri;
    std::string manufacturerName;
    std::string productName;
    std::string softwareVersion;
    std::string buildNumber;
    DateTime buildDate;
};

enum class ServerState : std::int32_t { kRunning = 0, kFailed = 1, kNoConfiguration = 2 };

struct ServerStatusDataType {
    DateTime startTime;
    DateTime currentTime;
    ServerState state = ServerState::kRunning;
    BuildInfo buildInfo;
    std::uint32_t secondsTillShutdown = 0;
    LocalizedText shutdownReason;
};

template <>
struct StructureSchema<Range> {
    static constexpr std::string_view kName = "Range";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kRangeEncoding;
    static constexpr auto kFields =
        std::tuple{Field{"Low", &Range::low}, Field{"High", &Range::high}};
};

template <>
struct StructureSchema<EUInformation> {
    static constexpr std::string_view kName = "EUInformation";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kEUInformationEncoding;
    static constexpr auto kFields = std::tuple{Field{"NamespaceUri", &EUInformation::namespaceUri},
                                               Field{"UnitId", &EUInformation::unitId},
                                               Field{"DisplayName", &EUInformation::displayName},
                                               Field{"Description", &EUInformation::description}};
};

template <>
struct StructureSchema<BuildInfo> {
    static constexpr std::string_view kName = "BuildInfo";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kBuildInfoEncoding;
    static constexpr auto kFields =
        std::tuple{Field{"ProductUri", &BuildInfo::productUri},
                   Field{"ManufacturerName", &BuildInfo::manufacturerName},
                   Field{"ProductName", &BuildInfo::productName},
                   Field{"SoftwareVersion", &BuildInfo::softwareVersion},
                   Field{"BuildNumber", &BuildInfo::buildNumber},
                   Field{"BuildDate", &BuildInfo::buildDate}};
};

template <>
struct StructureSchema<ServerStatusDataType> {
    static constexpr std::string_view kName = "ServerStatusDataType";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kServerStatusDataTypeEncoding;
    static constexpr auto kFields =
        std::tuple{Field{"StartTime", &ServerStatusDataType::startTime},
                   Field{"CurrentTime", &ServerStatusDataType::currentTime},
                   Field{"State", &ServerStatusDataType::state},
                   Field{"BuildInfo", &ServerStatusDataType::buildInfo},
                   Field{"SecondsTillShutdown", &ServerStatusDataType::secondsTillShutdown},
                   Field{"ShutdownReason", &ServerStatusDataType::shutdownReason}};
};

}  // namespace velk::ua
