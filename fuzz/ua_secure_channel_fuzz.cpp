// Fuzz target of the server's secure channel: the input is the byte stream a client sends,
// in pieces whose size the first byte picks, with the clock stepped between pieces by the
// second. Every request that comes out is echoed back as a response. Whatever comes in, the
// output must be whole chunks within the negotiated buffer, nothing may follow the close,
// and no request may exceed the negotiated message size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "opcua/chunk_reader.h"
#include "opcua/server_secure_channel.h"

namespace {

using namespace velk::ua;

class StepClock final : public velk::IClock {
  public:
    velk::FileTime NowUtc() const override { return 130702107091230000ull + tick_ * 10'000ull; }
    velk::LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return tick_; }
    velk::LocalTime ToLocal(velk::FileTime) const override { return {}; }
    bool LocalToUtc(const velk::LocalTime&, velk::FileTime&) const override { return false; }
    void Sleep(std::uint32_t ms) override { tick_ += ms; }

  private:
    std::uint32_t tick_ = 1000;
};

void CheckOutput(ServerSecureChannel& channel, bool wasClosed) {
    const auto output = channel.TakeOutput();
    if (wasClosed && !output.empty()) std::abort();
    ChunkReader reader(1u << 20);
    reader.Append(output);
    Chunk chunk;
    StatusCode status;
    const std::uint32_t limit =
        channel.limits().sendBufferSize == 0 ? 1u << 20 : channel.limits().sendBufferSize;
    while (reader.Next(chunk, status)) {
        if (chunk.header.type != MessageType::kAcknowledge &&
            chunk.header.type != MessageType::kError && chunk.bytes.size() > limit) {
            std::abort();
        }
    }
    if (status != kGood || reader.Buffered() != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t piece = 1 + data[0] % 128;
    const std::uint32_t step = data[1] * 100u;
    const std::span<const std::uint8_t> stream(data + 2, size - 2);
    StepClock clock;
    SecureChannelSettings settings;
    settings.limits.maxRequestMessageSize = 100'000;
    settings.limits.maxRequestChunkCount = 16;
    ServerSecureChannel channel(clock, 7, settings);
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const bool wasClosed = channel.state() == ServerSecureChannel::State::kClosed;
        channel.OnReceived(stream.subspan(at, std::min(piece, stream.size() - at)));
        for (const auto& request : channel.TakeRequests()) {
            if (request.body.size() > settings.limits.maxRequestMessageSize) std::abort();
            const StatusCode sent = channel.SendResponse(request.requestId, request.body);
            if (sent != kGood && sent != kBadResponseTooLarge) std::abort();
        }
        clock.Sleep(step);
        channel.CheckTimers();
        CheckOutput(channel, wasClosed);
    }
    return 0;
}
