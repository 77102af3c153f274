#pragma once
// The BrowseNext service: goes on with the browses behind continuation points, or releases
// them.
#include <cstdint>
#include <tuple>
#include <vector>

#include "opcua/space/browse_service.h"

namespace velk::ua {

struct BrowseNextRequest {
    RequestHeader requestHeader;
    bool releaseContinuationPoints = false;
    std::vector<ByteString> continuationPoints;
};

struct BrowseNextResponse {
    ResponseHeader responseHeader;
    std::vector<BrowseResult> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

BrowseNextResponse BrowseNext(ServiceContext& context, const BrowseNextRequest& request);

template <>
struct StructureSchema<BrowseNextRequest> {
    static constexpr std::string_view kName = "BrowseNextRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 533;
    static constexpr auto kFields = std::tuple{
        Field{"RequestHeader", &BrowseNextRequest::requestHeader},
        Field{"ReleaseContinuationPoints", &BrowseNextRequest::releaseContinuationPoints},
        Field{"ContinuationPoints", &BrowseNextRequest::continuationPoints}};
};

template <>
struct StructureSchema<BrowseNextResponse> {
    static constexpr std::string_view kName = "BrowseNextResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 536;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &BrowseNextResponse::responseHeader},
                   Field{"Results", &BrowseNextResponse::results},
                   Field{"DiagnosticInfos", &BrowseNextResponse::diagnosticInfos}};
};

}  // namespace velk::ua
