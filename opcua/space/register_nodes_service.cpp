#include "opcua/space/register_nodes_service.h"

namespace velk::ua {

namespace {

StatusCode RegistrationResult(const ServiceContext& context, std::size_t count) {
    if (count == 0) return kBadNothingToDo;
    if (count > context.limits.maxNodesPerRegisterNodes) return kBadTooManyOperations;
    return kGood;
}

}  // namespace

RegisterNodesResponse RegisterNodes(ServiceContext& context, const RegisterNodesRequest& request) {
    RegisterNodesResponse response;
    const StatusCode result = RegistrationResult(context, request.nodesToRegister.size());
    response.responseHeader = ResponseHeaderFor(context, request.requestHeader, result);
    if (result == kGood) response.registeredNodeIds = request.nodesToRegister;
    return response;
}

UnregisterNodesResponse UnregisterNodes(ServiceContext& context,
                                        const UnregisterNodesRequest& request) {
    return {ResponseHeaderFor(context, request.requestHeader,
                              RegistrationResult(context, request.nodesToUnregister.size()))};
}

}  // namespace velk::ua
