// The OPC UA front over real loopback sockets, with a request handler double: the UA TCP
// handshake by a client written from the message layouts, requests routed to the handler and
// answered through its workers, the connection bound, the Hello time limit, a port in use,
// a client that stops reading, and the sessions counted as clients.
#include "app/opcua/ua_front.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/document_services.h"
#include "opcua/binary_reader.h"
#include "opcua/secure_channel_messages.h"
#include "opcua/secure_conversation_headers.h"
#include "opcua/service_headers.h"
#include "opcua/ua_tcp_messages.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Request handles the double gives a meaning to.
constexpr std::uint32_t kLargeAnswer = 9'000;   // answers with about 60 KB
constexpr std::uint32_t kSessionsBase = 7'000;  // reports (handle - base) sessions

class TraceLog {
  public:
    void Add(const std::string& line) {
        std::lock_guard guard(lock_);
        lines_.push_back(line);
        changed_.notify_all();
    }
    bool WaitFor(const std::string& part, std::chrono::milliseconds wait = 5s) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, wait, [&] { return CountLocked(part) > 0; });
    }
    std::size_t Count(const std::string& part) {
        std::lock_guard guard(lock_);
        return CountLocked(part);
    }

  private:
    std::size_t CountLocked(const std::string& part) const {
        return static_cast<std::size_t>(std::count_if(
            lines_.begin(), lines_.end(),
            [&](const std::string& line) { return line.find(part) != std::string::npos; }));
    }
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

struct Counter final : IClientCounter {
    bool AddClient() override { return ++clients > 0; }
    bool RemoveClient() override { return --clients > 0; }
    std::atomic<int> clients{0};
};

// What the handler double saw; the test reads it from its own thread.
struct Seen {
    std::mutex lock;
    std::vector<ua::ChannelInfo> channels;
    std::vector<std::uint32_t> closed;
    ua::IServiceWork* work = nullptr;
};

// Answers each request with a ServiceFault that carries the request's handle, from one of
// the front's workers, which posts the answer back as UaServer does.
class HandlerDouble final : public IUaRequestHandler {
  public:
    HandlerDouble(const UaHandlerContext& context, Seen& seen) : context_(context), seen_(seen) {
        std::lock_guard guard(seen_.lock);
        seen_.work = &context.work;
    }
    void OnRequest(const ua::ChannelInfo& channel, ua::ServiceRequest request) override {
        {
            std::lock_guard guard(seen_.lock);
            seen_.channels.push_back(channel);
        }
        ua::BinaryReader reader(request.body);
        ua::RequestHeader header;
        ua::Decode(reader, header);
        const std::uint32_t handle = header.requestHandle;
        if (handle >= kSessionsBase && handle < kLargeAnswer) {
            context_.sessionCountChanged(handle - kSessionsBase);
        }
        ua::IServiceWork& work = context_.work;
        ua::IChannelOutput& output = context_.output;
        const std::uint32_t channelId = channel.channelId;
        const std::uint32_t requestId = request.requestId;
        work.Launch([&work, &output, channelId, requestId, handle] {
            ua::ServiceFault fault;
            fault.responseHeader.requestHandle = handle;
            fault.responseHeader.serviceResult = ua::kBadNothingToDo;
            if (handle == kLargeAnswer)
                fault.responseHeader.stringTable.assign(1, std::string(60'000, 'x'));
            Bytes message = ua::EncodeServiceMessage(fault);
            work.Post([&output, channelId, requestId, message = std::move(message)]() mutable {
                output.SendResponse(channelId, requestId, std::move(message));
            });
        });
    }
    void OnChannelClosed(std::uint32_t channelId) override {
        std::lock_guard guard(seen_.lock);
        seen_.closed.push_back(channelId);
    }
    void Tick() override {}
    FileTime NextDue() const override { return 0; }

  private:
    UaHandlerContext context_;
    Seen& seen_;
};

// The client's side, blocking with the sockets' 5 s time-outs.
class RawClient {
  public:
    ~RawClient() { sockets_.CloseSocket(socket_); }

    bool Connect(std::uint16_t port) { return sockets_.OpenConnection(socket_, "127.0.0.1", port); }

    void Send(const Bytes& bytes) {
        ASSERT_EQ(sockets_.SendTimed(socket_, bytes.data(), static_cast<int>(bytes.size()), 5000),
                  static_cast<int>(bytes.size()));
    }

    // One chunk, header included; false when the server closed (or nothing came in 5 s).
    bool ReadChunk(Bytes& chunk) {
        chunk.assign(ua::kMessageHeaderSize, 0);
        if (!ReadExactly(chunk.data(), chunk.size())) return false;
        ua::MessageHeader header;
        if (ua::ParseMessageHeader(chunk, header) != ua::kGood) return false;
        chunk.resize(header.size);
        return ReadExactly(chunk.data() + ua::kMessageHeaderSize,
                           header.size - ua::kMessageHeaderSize);
    }

    void Hello(std::uint32_t maxMessageSize = 0) {
        Send(ua::EncodeMessage(
            ua::HelloMessage{0, 65535, 65535, maxMessageSize, 0, "opc.tcp://127.0.0.1"}));
        Bytes chunk;
        ASSERT_TRUE(ReadChunk(chunk));
        ASSERT_EQ(Type(chunk), ua::MessageType::kAcknowledge);
    }

    void Open() {
        ua::OpenSecureChannelRequest request;
        request.securityMode = ua::MessageSecurityMode::kNone;
        request.requestedLifetime = 60'000;
        Bytes chunk;
        ua::AppendSecureChunk(chunk, ua::MessageType::kOpenSecureChannel, ua::ChunkType::kFinal, 0,
                              0, sequence_++, requestId_++, ua::EncodeServiceMessage(request));
        Send(chunk);
        ASSERT_TRUE(ReadChunk(chunk));
        ua::SecureChunk parsed;
        ASSERT_EQ(ua::ParseSecureChunk(chunk, parsed), ua::kGood);
        ua::BinaryReader reader(parsed.body);
        ua::NodeId typeId;
        ua::OpenSecureChannelResponse response;
        ua::Decode(reader, typeId);
        ua::Decode(reader, response);
        ASSERT_TRUE(reader.Ok());
        channelId = response.securityToken.channelId;
        tokenId_ = response.securityToken.tokenId;
    }

    void Handshake(std::uint32_t maxMessageSize = 0) {
        Hello(maxMessageSize);
        Open();
    }

    // Sends a request with the handle; its request id.
    std::uint32_t Request(std::uint32_t handle) {
        ua::RequestHeader header;
        header.requestHandle = handle;
        Bytes chunk;
        const std::uint32_t id = requestId_++;
        ua::AppendSecureChunk(chunk, ua::MessageType::kMessage, ua::ChunkType::kFinal, channelId,
                              tokenId_, sequence_++, id, ua::EncodeServiceMessage(header));
        Send(chunk);
        return id;
    }

    // The next response, its chunks put together.
    bool Response(ua::ServiceFault& fault, std::uint32_t& requestId) {
        Bytes body, chunk;
        for (;;) {
            if (!ReadChunk(chunk)) return false;
            ua::SecureChunk parsed;
            if (ua::ParseSecureChunk(chunk, parsed) != ua::kGood) return false;
            body.insert(body.end(), parsed.body.begin(), parsed.body.end());
            requestId = parsed.requestId;
            if (parsed.header.chunk == ua::ChunkType::kFinal) break;
        }
        ua::BinaryReader reader(body);
        ua::NodeId typeId;
        ua::Decode(reader, typeId);
        ua::Decode(reader, fault);
        return reader.Ok() && typeId == ua::BinaryEncodingId<ua::ServiceFault>();
    }

    // What the server sent before it closed: the Error's code, kGood when it sent none.
    // False when the connection is still open after 5 s.
    bool ClosedByServer(ua::StatusCode& error) {
        error = ua::kGood;
        Bytes chunk;
        while (ReadChunk(chunk)) {
            if (Type(chunk) != ua::MessageType::kError) continue;
            ua::ErrorMessage message;
            ua::DecodeMessageBody(std::span(chunk).subspan(ua::kMessageHeaderSize), message);
            error = message.error;
        }
        return !sockets_.LastErrorWasTimeout();
    }

    std::uint32_t channelId = 0;

  private:
    static ua::MessageType Type(const Bytes& chunk) {
        ua::MessageHeader header;
        ua::ParseMessageHeader(chunk, header);
        return header.type;
    }
    bool ReadExactly(std::uint8_t* to, std::size_t count) {
        while (count > 0) {
            const int n = sockets_.RecvTimed(socket_, to, static_cast<int>(count), 5000);
            if (n <= 0) return false;
            to += n;
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }

    PosixTcpSockets sockets_;
    SocketHolder socket_;
    std::uint32_t sequence_ = 1;
    std::uint32_t requestId_ = 1;
    std::uint32_t tokenId_ = 0;
};

class UaFrontTest : public ::testing::Test {
  protected:
    UaFrontTest()
        : front_(UaFrontServices{clock_, sockets_, counter_,
                                 [this](const UaHandlerContext& context) {
                                     return std::make_unique<HandlerDouble>(context, seen_);
                                 },
                                 [this](const std::string& line) { trace_.Add(line); }}) {
        options_.bindAddresses = {"127.0.0.1"};
        options_.port = 0;
    }

    std::uint16_t Start() {
        EXPECT_TRUE(front_.Start(options_));
        std::uint16_t port = 0;
        if (trace_.WaitFor("OPC UA: listening on 127.0.0.1:")) port = front_.ListeningPorts().at(0);
        EXPECT_NE(port, 0);
        return port;
    }

    // Ends the front's wait at once, so that it sees the clock stepped by hand.
    void Nudge() {
        std::lock_guard guard(seen_.lock);
        if (seen_.work != nullptr) seen_.work->Post([] {});
    }

    // Returns once the front has run a whole pass after the call, so that what a pass does
    // at its start (the bind retry) has been done with the clock as it is now.
    bool Sync() {
        for (int pass = 0; pass < 2; ++pass) {
            std::promise<void> ran;
            auto done = ran.get_future();
            {
                std::lock_guard guard(seen_.lock);
                if (seen_.work == nullptr) return false;
                seen_.work->Post([&ran] { ran.set_value(); });
            }
            if (done.wait_for(5s) != std::future_status::ready) return false;
        }
        return true;
    }

    bool WaitConnections(std::size_t count) {
        for (int i = 0; i < 500 && front_.ConnectionCount() != count; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return front_.ConnectionCount() == count;
    }

    testing::FakeClock clock_;
    PosixTcpSockets sockets_{0};
    Counter counter_;
    Seen seen_;
    TraceLog trace_;
    UaFrontOptions options_;
    UaFront front_;
};

TEST_F(UaFrontTest, RoutesRequestsOfEachChannelAndAnswersThroughTheWorkers) {
    const std::uint16_t port = Start();
    RawClient first, second;
    ASSERT_TRUE(first.Connect(port));
    ASSERT_TRUE(second.Connect(port));
    first.Handshake();
    second.Handshake();
    EXPECT_NE(first.channelId, 0u);
    EXPECT_NE(first.channelId, second.channelId);

    // Interleaved: each answer goes back on its own channel.
    const std::uint32_t a = first.Request(11);
    const std::uint32_t b = second.Request(22);
    ua::ServiceFault fault;
    std::uint32_t requestId = 0;
    ASSERT_TRUE(second.Response(fault, requestId));
    EXPECT_EQ(fault.responseHeader.requestHandle, 22u);
    EXPECT_EQ(requestId, b);
    ASSERT_TRUE(first.Response(fault, requestId));
    EXPECT_EQ(fault.responseHeader.requestHandle, 11u);
    EXPECT_EQ(requestId, a);
    {
        std::lock_guard guard(seen_.lock);
        ASSERT_EQ(seen_.channels.size(), 2u);
        EXPECT_EQ(seen_.channels[0].channelId, first.channelId);
        EXPECT_EQ(seen_.channels[0].peerAddress, "127.0.0.1");
        EXPECT_EQ(seen_.channels[0].endpointUrl, "opc.tcp://127.0.0.1");
    }
}

TEST_F(UaFrontTest, AResponseBeyondTheClientsLimitBecomesAServiceFault) {
    const std::uint16_t port = Start();
    RawClient client;
    ASSERT_TRUE(client.Connect(port));
    client.Handshake(16'384);
    const std::uint32_t id = client.Request(kLargeAnswer);
    ua::ServiceFault fault;
    std::uint32_t requestId = 0;
    ASSERT_TRUE(client.Response(fault, requestId));
    EXPECT_EQ(requestId, id);
    EXPECT_EQ(fault.responseHeader.requestHandle, kLargeAnswer);
    EXPECT_EQ(fault.responseHeader.serviceResult, ua::kBadResponseTooLarge);
    EXPECT_TRUE(fault.responseHeader.stringTable.empty());
}

TEST_F(UaFrontTest, AConnectionPastTheBoundIsRefusedAndTraced) {
    options_.maxConnections = 1;
    const std::uint16_t port = Start();
    RawClient kept, refused;
    ASSERT_TRUE(kept.Connect(port));
    ASSERT_TRUE(WaitConnections(1));
    ASSERT_TRUE(refused.Connect(port));
    ua::StatusCode error;
    ASSERT_TRUE(refused.ClosedByServer(error));
    EXPECT_EQ(error, ua::kBadTcpServerTooBusy);
    EXPECT_TRUE(trace_.WaitFor("OPC UA: connection from 127.0.0.1 refused"));
    // The one taken is not disturbed by the refusal.
    kept.Handshake();
    EXPECT_EQ(front_.ConnectionCount(), 1u);
}

TEST_F(UaFrontTest, AConnectionWithoutHelloIsClosedAfterTheTimeLimit) {
    options_.channel.helloTimeoutMs = 10'000;
    const std::uint16_t port = Start();
    RawClient silent, talking;
    ASSERT_TRUE(silent.Connect(port));
    ASSERT_TRUE(talking.Connect(port));
    ASSERT_TRUE(WaitConnections(2));
    talking.Handshake();
    clock_.Advance(5'000);
    Nudge();
    clock_.Advance(6'000);
    Nudge();
    ua::StatusCode error;
    ASSERT_TRUE(silent.ClosedByServer(error));
    EXPECT_EQ(error, ua::kBadTimeout);
    EXPECT_TRUE(trace_.WaitFor("OPC UA: connection from 127.0.0.1 closed: "));
    {
        std::lock_guard guard(seen_.lock);
        EXPECT_EQ(seen_.closed.size(), 1u);
        EXPECT_EQ(std::count(seen_.closed.begin(), seen_.closed.end(), talking.channelId), 0);
    }
    // The channel opened in time is served on.
    talking.Request(3);
    ua::ServiceFault fault;
    std::uint32_t requestId = 0;
    ASSERT_TRUE(talking.Response(fault, requestId));
    EXPECT_EQ(fault.responseHeader.requestHandle, 3u);
    EXPECT_EQ(front_.ConnectionCount(), 1u);
}

TEST_F(UaFrontTest, APortInUseIsTracedOnceAndBoundWhenFreed) {
    SocketHolder blocker;
    ASSERT_TRUE(sockets_.Listen(blocker, "127.0.0.1", 0));
    options_.port = sockets_.LocalPort(blocker);
    options_.bindRetryMs = 10'000;
    ASSERT_TRUE(front_.Start(options_));
    const std::string port = std::to_string(options_.port);
    ASSERT_TRUE(trace_.WaitFor("OPC UA: cannot listen on 127.0.0.1:" + port + ": "));
    EXPECT_TRUE(trace_.WaitFor("; retrying every 10 s"));
    // Retried at its period, and told only the first time.
    clock_.Advance(10'000);
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(front_.ListeningPorts().empty());
    sockets_.CloseSocket(blocker);
    clock_.Advance(9'000);
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(front_.ListeningPorts().empty());
    clock_.Advance(1'000);
    Nudge();
    ASSERT_TRUE(trace_.WaitFor("OPC UA: listening on 127.0.0.1:" + port));
    EXPECT_EQ(trace_.Count("cannot listen"), 1u);
    EXPECT_EQ(front_.ListeningPorts(), std::vector<std::uint16_t>{options_.port});
    RawClient client;
    ASSERT_TRUE(client.Connect(options_.port));
    client.Handshake();
}

TEST_F(UaFrontTest, AClientThatDoesNotReadIsClosedWithoutHoldingAnother) {
    options_.maxSendQueueBytes = 256 * 1024;
    const std::uint16_t port = Start();
    RawClient deaf, other;
    ASSERT_TRUE(deaf.Connect(port));
    ASSERT_TRUE(other.Connect(port));
    deaf.Handshake();
    other.Handshake();
    // Far more than the socket buffers and the queue's bound hold together.
    for (int i = 0; i < 400; ++i) deaf.Request(kLargeAnswer);
    ASSERT_TRUE(trace_.WaitFor("the client does not take its responses", 10s));
    other.Request(5);
    ua::ServiceFault fault;
    std::uint32_t requestId = 0;
    ASSERT_TRUE(other.Response(fault, requestId));
    EXPECT_EQ(fault.responseHeader.requestHandle, 5u);
    EXPECT_TRUE(WaitConnections(1));
}

TEST_F(UaFrontTest, EachSessionCountsAsAClientUntilTheFrontStops) {
    const std::uint16_t port = Start();
    RawClient client;
    ASSERT_TRUE(client.Connect(port));
    client.Handshake();
    const auto reportSessions = [&](std::uint32_t sessions) {
        client.Request(kSessionsBase + sessions);
        ua::ServiceFault fault;
        std::uint32_t requestId = 0;
        ASSERT_TRUE(client.Response(fault, requestId));
    };
    reportSessions(3);
    EXPECT_EQ(counter_.clients.load(), 3);
    reportSessions(1);
    EXPECT_EQ(counter_.clients.load(), 1);
    reportSessions(2);
    front_.Stop();
    EXPECT_EQ(counter_.clients.load(), 0);
    EXPECT_TRUE(front_.ListeningPorts().empty());
    ua::StatusCode error;
    EXPECT_TRUE(client.ClosedByServer(error));
}

}  // namespace
}  // namespace velk
