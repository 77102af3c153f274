#pragma once
// The RegisterNodes and UnregisterNodes services. A plant node is found from its NodeId as
// fast as from any alias, so the server registers nothing: it hands the NodeIds back as they
// came (unknown ones too, as the client learns of those when it uses them).
#include <cstdint>
#include <tuple>
#include <vector>

#include "opcua/space/service_context.h"

namespace velk::ua {

struct RegisterNodesRequest {
    RequestHeader requestHeader;
    std::vector<NodeId> nodesToRegister;
};

struct RegisterNodesResponse {
    ResponseHeader responseHeader;
    std::vector<NodeId> registeredNodeIds;
};

struct UnregisterNodesRequest {
    RequestHeader requestHeader;
    std::vector<NodeId> nodesToUnregister;
};

struct UnregisterNodesResponse {
    ResponseHeader responseHeader;
};

RegisterNodesResponse RegisterNodes(ServiceContext& context, const RegisterNodesRequest& request);
UnregisterNodesResponse UnregisterNodes(ServiceContext& context,
                                        const UnregisterNodesRequest& request);

template <>
struct StructureSchema<RegisterNodesRequest> {
    static constexpr std::string_view kName = "RegisterNodesRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 560;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &RegisterNodesRequest::requestHeader},
                   Field{"NodesToRegister", &RegisterNodesRequest::nodesToRegister}};
};

template <>
struct StructureSchema<RegisterNodesResponse> {
    static constexpr std::string_view kName = "RegisterNodesResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 563;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &RegisterNodesResponse::responseHeader},
                   Field{"RegisteredNodeIds", &RegisterNodesResponse::registeredNodeIds}};
};

template <>
struct StructureSchema<UnregisterNodesRequest> {
    static constexpr std::string_view kName = "UnregisterNodesRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 566;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &UnregisterNodesRequest::requestHeader},
                   Field{"NodesToUnregister", &UnregisterNodesRequest::nodesToUnregister}};
};

template <>
struct StructureSchema<UnregisterNodesResponse> {
    static constexpr std::string_view kName = "UnregisterNodesResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 569;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &UnregisterNodesResponse::responseHeader}};
};

}  // namespace velk::ua
