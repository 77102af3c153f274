// Fuzz target of the Modbus TCP answer receive: whatever the controller's byte stream holds
// (late answers to earlier requests, noise, split and long frames, hang-ups, time-outs),
// an answer taken as valid carries the transaction identifier of the request just sent (or
// 0, from a controller that does not echo it), has the expected length and is bytes of the
// stream as they came; every receive stays within the answer buffer.
//
// Input: three bytes giving the register counts of three read requests, then the stream as
// segments, each a length byte and that many bytes (0: the peer hangs up, 255: a
// time-out). Bytes of a segment that one receive does not take are what is waiting.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/device_channels.h"
#include "modbus/modbus_requests.h"
#include "model/o_device.h"

namespace {

using namespace velk;

class StreamSockets final : public ITcpSockets {
  public:
    explicit StreamSockets(std::span<const std::uint8_t> input) : input_(input) {}

    bool CreateNonBlocking(SocketHolder& holder) override { return Open(holder); }
    bool ConnectTimed(SocketHolder&, std::string_view, std::uint16_t) override { return true; }
    int SendTimed(SocketHolder&, const std::uint8_t* bytes, int count, std::uint32_t) override {
        if (count < 2) std::abort();
        sentTransaction = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
        return count;
    }
    int RecvTimed(SocketHolder&, std::uint8_t* buffer, int count, std::uint32_t) override {
        if (count <= 0 || static_cast<std::size_t>(count) > OMessage::kBufferSize) std::abort();
        timeout_ = false;
        if (waiting_ == 0) {
            if (at_ >= input_.size()) return TimeOut();
            const std::uint8_t length = input_[at_++];
            if (length == 0) return 0;
            if (length == 255) return TimeOut();
            waiting_ = std::min<std::size_t>(length, input_.size() - at_);
            if (waiting_ == 0) return TimeOut();
        }
        const std::size_t n = std::min<std::size_t>(waiting_, static_cast<std::size_t>(count));
        std::copy_n(input_.begin() + static_cast<std::ptrdiff_t>(at_), n, buffer);
        delivered.insert(delivered.end(), buffer, buffer + n);
        at_ += n;
        waiting_ -= n;
        return static_cast<int>(n);
    }
    int RecvWithin(SocketHolder& holder, std::uint8_t* buffer, int count,
                   std::uint32_t waitMs) override {
        return RecvTimed(holder, buffer, count, waitMs);
    }
    std::uint32_t ConnectionWaitMs() const override { return 5000; }
    int WaitReadable(std::span<const SocketHolder>, std::uint32_t, std::vector<bool>&) override {
        return -1;
    }
    int AcceptTimed(SocketHolder&, SocketHolder&) override { return -1; }
    bool Bind(SocketHolder&, std::string_view, std::uint16_t) override { return false; }
    bool StartListening(SocketHolder&) override { return false; }
    bool MakeNonBlocking(SocketHolder&) override { return true; }
    std::string PeerAddress(const SocketHolder&) const override { return {}; }
    void CloseSocket(SocketHolder& holder) override { holder.handle = -1; }
    bool OpenConnection(SocketHolder& holder, std::string_view, std::uint16_t) override {
        return Open(holder);
    }
    bool LastErrorWasTimeout() const override { return timeout_; }
    std::size_t DiscardPending(SocketHolder&) override {
        const std::size_t dropped = waiting_;
        at_ += waiting_;
        waiting_ = 0;
        return dropped;
    }
    bool Listen(SocketHolder&, std::string_view, std::uint16_t) override { return false; }
    std::uint16_t LocalPort(const SocketHolder&) const override { return 0; }
    int WaitReady(std::span<const SocketHolder>, const std::vector<bool>&, std::uint32_t,
                  std::vector<bool>&, std::vector<bool>&) override {
        return -1;
    }
    std::string LastErrorText() const override { return {}; }

    std::uint16_t sentTransaction = 0;
    std::vector<std::uint8_t> delivered;  // every byte received, in order

  private:
    static bool Open(SocketHolder& holder) {
        holder.handle = 3;
        return true;
    }
    int TimeOut() {
        timeout_ = true;
        return -2;
    }

    std::span<const std::uint8_t> input_;
    std::size_t at_ = 0;
    std::size_t waiting_ = 0;
    bool timeout_ = false;
};

class FixedClock final : public IClock {
  public:
    FileTime NowUtc() const override { return 130702107091230000ull; }
    LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return 0; }
    LocalTime ToLocal(FileTime) const override { return {}; }
    bool LocalToUtc(const LocalTime&, FileTime&) const override { return false; }
    void Sleep(std::uint32_t) override {}
};

class NoObserver final : public IExchangeObserver {
  public:
    void CheckComm(ODevice&, bool, int) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kRequests = 3;
    if (size < kRequests) return 0;
    StreamSockets sockets(std::span(data + kRequests, size - kRequests));
    FixedClock clock;
    NoObserver observer;
    ODevice device;
    device.params.modbusTcp = 1;
    DeviceChannels channels(device, ChannelServices{clock, observer, nullptr, &sockets});
    TcpConnection connection;
    sockets.OpenConnection(connection.socket, "127.0.0.1", 502);
    for (std::size_t n = 0; n < kRequests; ++n) {
        const auto count = static_cast<std::uint16_t>(1 + data[n] % 125);
        auto request =
            BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kHoldingRegister, 0, count);
        const std::uint16_t answerLength = request->GetAnswerLength();
        sockets.delivered.clear();
        channels.ExchangeTcp(connection, *request, 0);
        if (!request->IsValid()) continue;
        const auto answer = request->Frame();
        // Controllers that do not echo the identifier answer with 0; such an answer is
        // matched by its length.
        const auto transaction = static_cast<std::uint16_t>(answer[0] << 8 | answer[1]);
        if (answer.size() != answerLength ||
            (transaction != sockets.sentTransaction && transaction != 0) ||
            std::search(sockets.delivered.begin(), sockets.delivered.end(), answer.begin(),
                        answer.end()) == sockets.delivered.end()) {
            std::abort();
        }
    }
    const ChannelCounts counts = channels.Counts(0);
    if (counts.sent != kRequests || counts.received > counts.sent) std::abort();
    return 0;
}
