#pragma once
// The Discovery services, which need no session: FindServers (this server's own
// description) and GetEndpoints (one endpoint per offer and URL).
#include <vector>

#include "opcua/server/session_messages.h"
#include "opcua/server/ua_server.h"

namespace velk::ua {

// This server as an application: its URIs, name and discovery URLs.
ApplicationDescription OwnDescription(const UaServerConfig& config);
// Every endpoint, in offer order, each on every URL; the anonymous policy only where
// anonymous identities are allowed, the user-name policy always.
std::vector<EndpointDescription> Endpoints(const UaServerConfig& config);

// The server's description, or none when serverUris is given and lacks its URI.
FindServersResponse FindServers(const UaServerConfig& config, const FindServersRequest& request,
                                DateTime now);
// No endpoint when profileUris is given and lacks the UA TCP binary profile.
GetEndpointsResponse GetEndpoints(const UaServerConfig& config, const GetEndpointsRequest& request,
                                  DateTime now);

}  // namespace velk::ua
