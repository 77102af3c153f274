#pragma once
// What the UA services' fuzz targets share: a clock that stands still, and the check that an
// answer is the service's response or a failing ServiceFault, decoding whole.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "opcua/binary_reader.h"
#include "opcua/service_headers.h"
#include "platform/clock.h"

namespace velk::ua::fuzz {

class FixedClock final : public IClock {
  public:
    FileTime NowUtc() const override { return 133000000000000000ull; }
    LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return 0; }
    LocalTime ToLocal(FileTime) const override { return {}; }
    bool LocalToUtc(const LocalTime&, FileTime& utc) const override {
        utc = 0;
        return true;
    }
    void Sleep(std::uint32_t) override {}
};

// Aborts unless message is a Response or a ServiceFault with a bad result, read to its end.
template <class Response>
void CheckServiceAnswer(const std::vector<std::uint8_t>& message) {
    BinaryReader r(message);
    NodeId typeId;
    Decode(r, typeId);
    if (typeId == BinaryEncodingId<Response>()) {
        Response response;
        Decode(r, response);
    } else if (typeId == BinaryEncodingId<ServiceFault>()) {
        ServiceFault fault;
        Decode(r, fault);
        if (IsGood(fault.responseHeader.serviceResult)) std::abort();
    } else {
        std::abort();
    }
    if (!r.Ok() || r.Remaining() != 0) std::abort();
}

}  // namespace velk::ua::fuzz
