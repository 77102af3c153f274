#include "opcua/space/service_context.h"

#include "platform/clock.h"

namespace velk::ua {

ResponseHeader ResponseHeaderFor(const ServiceContext& context, const RequestHeader& request,
                                 StatusCode serviceResult) {
    ResponseHeader header;
    header.timestamp = DateTime{static_cast<std::int64_t>(context.clock.NowUtc())};
    header.requestHandle = request.requestHandle;
    header.serviceResult = serviceResult;
    return header;
}

}  // namespace velk::ua
