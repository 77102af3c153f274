// The message queue: order, emptiness, and that it never owns what it holds.
#include "modbus/b_modbus_tcp_buffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "modbus/o_rtu_message.h"

namespace velk {
namespace {

TEST(BModbusTCPBufferTest, PopsInPushOrderThenNothing) {
    BModbusTCPBuffer queue;
    EXPECT_EQ(queue.Pop(), nullptr);
    ORtuMessage first;
    ORtuMessage second;
    queue.Push(&first);
    queue.Push(&second);
    EXPECT_EQ(queue.Size(), 2u);
    EXPECT_EQ(queue.Pop(), &first);
    EXPECT_EQ(queue.Pop(), &second);
    EXPECT_EQ(queue.Pop(), nullptr);
}

TEST(BModbusTCPBufferTest, DestroyingTheQueueLeavesMessagesAlive) {
    auto message = std::make_unique<ORtuMessage>();
    message->PutByte(0x42);
    {
        BModbusTCPBuffer queue;
        queue.Push(message.get());
    }
    // Still ours and intact (a sanitizer run would flag a double free here).
    EXPECT_EQ(message->Length(), 1);
}

TEST(BModbusTCPBufferTest, ConcurrentProducersLoseNothing) {
    constexpr int kPerThread = 500;
    std::vector<std::unique_ptr<ORtuMessage>> messages;
    for (int i = 0; i < 2 * kPerThread; ++i) {
        messages.push_back(std::make_unique<ORtuMessage>());
    }
    BModbusTCPBuffer queue;
    auto produce = [&](int from) {
        for (int i = from; i < from + kPerThread; ++i) {
            queue.Push(messages[i].get());
        }
    };
    std::thread a(produce, 0);
    std::thread b(produce, kPerThread);
    a.join();
    b.join();
    std::set<OMessage*> popped;
    while (OMessage* message = queue.Pop()) {
        popped.insert(message);
    }
    EXPECT_EQ(popped.size(), messages.size());
}

}  // namespace
}  // namespace velk
