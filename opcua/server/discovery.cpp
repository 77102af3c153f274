#include "opcua/server/discovery.h"

#include <algorithm>

namespace velk::ua {

namespace {

// A secured endpoint ranks above one without security, signing and encrypting above
// signing only, so that a client that picks the highest gets the best.
std::uint8_t SecurityLevel(MessageSecurityMode mode) {
    switch (mode) {
        case MessageSecurityMode::kSign:
            return 1;
        case MessageSecurityMode::kSignAndEncrypt:
            return 2;
        default:
            return 0;
    }
}

ResponseHeader Header(const RequestHeader& request, DateTime now) {
    ResponseHeader header;
    header.timestamp = now;
    header.requestHandle = request.requestHandle;
    return header;
}

}  // namespace

ApplicationDescription OwnDescription(const UaServerConfig& config) {
    ApplicationDescription d;
    d.applicationUri = config.applicationUri;
    d.productUri = config.productUri;
    d.applicationName = LocalizedText{"en", config.applicationName};
    d.applicationType = ApplicationType::kServer;
    d.discoveryUrls = config.endpointUrls;
    return d;
}

std::vector<EndpointDescription> Endpoints(const UaServerConfig& config) {
    std::vector<UserTokenPolicy> tokens;
    if (config.allowAnonymous) {
        tokens.push_back(UserTokenPolicy{std::string(kAnonymousPolicyId), UserTokenType::kAnonymous,
                                         "", "", ""});
    }
    tokens.push_back(
        UserTokenPolicy{std::string(kUserNamePolicyId), UserTokenType::kUserName, "", "", ""});
    const ApplicationDescription server = OwnDescription(config);
    std::vector<EndpointDescription> endpoints;
    for (const EndpointOffer& offer : config.endpoints) {
        for (const std::string& url : config.endpointUrls) {
            EndpointDescription e;
            e.endpointUrl = url;
            e.server = server;
            e.serverCertificate = config.serverCertificate;
            e.securityMode = offer.securityMode;
            e.securityPolicyUri = offer.securityPolicyUri;
            e.userIdentityTokens = tokens;
            e.transportProfileUri = std::string(kUaTcpBinaryTransportProfileUri);
            e.securityLevel = SecurityLevel(offer.securityMode);
            endpoints.push_back(std::move(e));
        }
    }
    return endpoints;
}

FindServersResponse FindServers(const UaServerConfig& config, const FindServersRequest& request,
                                DateTime now) {
    FindServersResponse response;
    response.responseHeader = Header(request.requestHeader, now);
    const auto& uris = request.serverUris;
    if (uris.empty() || std::find(uris.begin(), uris.end(), config.applicationUri) != uris.end()) {
        response.servers.push_back(OwnDescription(config));
    }
    return response;
}

GetEndpointsResponse GetEndpoints(const UaServerConfig& config, const GetEndpointsRequest& request,
                                  DateTime now) {
    GetEndpointsResponse response;
    response.responseHeader = Header(request.requestHeader, now);
    const auto& profiles = request.profileUris;
    if (profiles.empty() || std::find(profiles.begin(), profiles.end(),
                                      kUaTcpBinaryTransportProfileUri) != profiles.end()) {
        response.endpoints = Endpoints(config);
    }
    return response;
}

}  // namespace velk::ua
