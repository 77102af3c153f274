#include "opcua/subscription/subscription_services.h"

namespace velk::ua {

TransferSubscriptionsResponse TransferSubscriptions(const TransferSubscriptionsRequest& request,
                                                    SessionSubscriptions& session) {
    TransferSubscriptionsResponse response;
    response.responseHeader =
        ServiceResponseHeader(request.requestHeader, session.Now(), kBadServiceUnsupported);
    return response;
}

}  // namespace velk::ua
