#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/support/fake_clock.h"

namespace velk {
namespace {

// Message numbers of a layer above the queue.
constexpr std::uint32_t kFirstMessage = WM_USER + 1;
constexpr std::uint32_t kSecondMessage = WM_USER + 2;

struct Payload : MessagePayload {
    explicit Payload(int* destroyed) : destroyed(destroyed) {}
    ~Payload() override { ++*destroyed; }
    int* destroyed;
};

class RecordingHandler : public IMessageHandler {
  public:
    void OnMessage(const Message& m) override { messages.push_back(m.id); }
    void OnTimer(std::uint32_t id) override { timers.push_back(id); }
    std::vector<std::uint32_t> messages;
    std::vector<std::uint32_t> timers;
};

TEST(MessageLoop, TimersFireWhenDueAndDoNotCatchUpMissedTicks) {
    testing::FakeClock clock;
    MessageLoop loop(clock);
    RecordingHandler handler;
    loop.SetTimer(1001, 1000);
    loop.SetTimer(1000, 15000);

    clock.Advance(999);
    loop.RunPending(handler);
    EXPECT_TRUE(handler.timers.empty());

    clock.Advance(1);
    loop.RunPending(handler);
    EXPECT_EQ(handler.timers, std::vector<std::uint32_t>({1001}));

    // Five periods late: one tick only, then the next one a period later.
    clock.Advance(5000);
    loop.RunPending(handler);
    EXPECT_EQ(handler.timers.size(), 2u);
    clock.Advance(999);
    loop.RunPending(handler);
    EXPECT_EQ(handler.timers.size(), 2u);

    loop.KillTimer(1001);
    clock.Advance(20000);
    loop.RunPending(handler);
    EXPECT_EQ(handler.timers.back(), 1000u);
    EXPECT_FALSE(loop.HasTimer(1001));
}

TEST(MessageLoop, TickCountWrapDoesNotStallTimers) {
    testing::FakeClock clock;
    clock.SetTick(0xFFFFFF00u);
    MessageLoop loop(clock);
    RecordingHandler handler;
    loop.SetTimer(7, 1000);
    clock.Advance(1000);
    loop.RunPending(handler);
    EXPECT_EQ(handler.timers.size(), 1u);
}

TEST(MessageLoop, RunDispatchesPostedMessagesUntilQuitFromAnotherThread) {
    testing::FakeClock clock;
    MessageLoop loop(clock);
    RecordingHandler handler;
    std::thread poster([&] {
        loop.Post(kFirstMessage, 0);
        loop.Post(kSecondMessage);
        loop.PostQuit();
    });
    loop.Run(handler);
    poster.join();
    EXPECT_EQ(handler.messages, std::vector<std::uint32_t>({kFirstMessage, kSecondMessage}));
}

TEST(MessageQueue, PayloadsOfUndeliveredMessagesAreDestroyed) {
    int destroyed = 0;
    {
        MessageQueue queue;
        queue.Post(kFirstMessage, 0, std::make_unique<Payload>(&destroyed));
        queue.Post(kFirstMessage, 0, std::make_unique<Payload>(&destroyed));
        Message m;
        ASSERT_TRUE(queue.Get(m));
        EXPECT_NE(m.PayloadAs<Payload>(), nullptr);
    }
    EXPECT_EQ(destroyed, 2);

    MessageQueue closed;
    closed.Close();
    EXPECT_FALSE(closed.Post(kFirstMessage, 0, std::make_unique<Payload>(&destroyed)));
    EXPECT_EQ(destroyed, 3);
}

}  // namespace
}  // namespace velk
