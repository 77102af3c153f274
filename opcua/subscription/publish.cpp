#include "opcua/subscription/subscription_services.h"

namespace velk::ua {

void Publish(std::uint64_t requestId, const PublishRequest& request, SessionSubscriptions& session,
             std::vector<PublishOutcome>& out) {
    session.Publish(requestId, request, out);
}

}  // namespace velk::ua
