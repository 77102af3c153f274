#pragma once
// A device exchange for scan engine tests: keeps every request's PDU, answers from an
// in-memory process image in TCP framing, and can fail chosen requests or hold them until
// the test lets them go.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "modbus/device_exchange.h"
#include "platform/clock.h"

namespace velk::testing {

struct ProcessImage {
    std::vector<std::uint16_t> coils = std::vector<std::uint16_t>(65536, 0);
    std::vector<std::uint16_t> discretes = std::vector<std::uint16_t>(65536, 0);
    std::vector<std::uint16_t> holding = std::vector<std::uint16_t>(65536, 0);
    std::vector<std::uint16_t> input = std::vector<std::uint16_t>(65536, 0);
};

class ScanFakeExchange final : public IDeviceExchange {
  public:
    // Answer time that the fake stamps on its answers.
    static constexpr FileTime kAnswerTime = 133000000000000000ull;

    MessageFraming Framing(const ODevice&) const override { return MessageFraming::kTcp; }
    void Exchange(ODevice& device, OMessage& message) override;
    void ReportTakenFailure(ODevice&) override { ++takenFailures; }

    // The PDUs (function code and fields) of the requests, in order.
    std::vector<std::vector<std::uint8_t>> Requests() const;
    std::size_t RequestCount() const;
    void ClearRequests();

    // The next count requests are answered with nothing (the message is reset).
    void FailNext(int count = 1);
    // Requests whose index (0-based, over the whole run) is listed are failed.
    void FailRequestIndex(std::size_t index);
    // Called with each request before it goes on the wire (while it waits for the channel),
    // outside the fake's lock.
    std::function<void(ODevice&, const OMessage&)> beforeWire;
    // Called with each request before it is answered, and after, outside the fake's lock.
    std::function<void(ODevice&, const OMessage&)> beforeAnswer;
    std::function<void(ODevice&, const OMessage&)> afterAnswer;
    // The answer time stamped on the answers from now on.
    std::atomic<FileTime> answerTime{kAnswerTime};
    // Failures of other readers' requests that a reader took, as the supervision hears them.
    std::atomic<int> takenFailures{0};

    ProcessImage image;
    // Which device each request came from.
    std::vector<const ODevice*> devices;

  private:
    bool Answer(OMessage& message);

    mutable std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> requests_;
    std::vector<std::size_t> failIndexes_;
    int failNext_ = 0;
};

// A read request's PDU: function code, start and count, as the tests expect them.
std::vector<std::uint8_t> ReadPdu(std::uint8_t function, std::uint16_t start, std::uint16_t count);

}  // namespace velk::testing
