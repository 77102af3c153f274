// The two queues of the link: first in first out, the received-packet queue's bound that
// drops the oldest packets, and the acknowledgement queue's clear.
#include "redundancy/received_packet_queue.h"

#include <gtest/gtest.h>

#include <vector>

#include "redundancy/ack_message_queue.h"

namespace velk {
namespace {

std::unique_ptr<ReceivedPacket> Packet(std::uint8_t marker) {
    const std::vector<std::uint8_t> bytes{0, 0, 0, 0, 0, 2, marker, 0x46};
    return std::make_unique<ReceivedPacket>(bytes, marker);
}

TEST(ReceivedPacketQueueTest, BeyondItsBoundTheOldestPacketsGo) {
    ReceivedPacketQueue queue(3);
    for (std::uint8_t i = 1; i <= 3; ++i) EXPECT_FALSE(queue.Push(Packet(i)));
    EXPECT_TRUE(queue.Push(Packet(4)));
    EXPECT_TRUE(queue.Push(Packet(5)));
    std::vector<int> order;
    while (auto packet = queue.Pop()) {
        EXPECT_EQ(packet->Frame().size(), 8u);
        order.push_back(packet->GetSlave());
        EXPECT_EQ(packet->ReceivedTick(), packet->GetSlave());
    }
    EXPECT_EQ(order, (std::vector<int>{3, 4, 5}));
    EXPECT_FALSE(queue.Push(Packet(6)));
    // What is left at the end is released with the queue (the sanitizer run checks it).
}

TEST(AckMessageQueueTest, TakesInOrderAndClearDropsEverything) {
    AckMessageQueue queue;
    EXPECT_EQ(queue.Take(), nullptr);
    queue.AddAckMessage(std::make_unique<BAckMsg>(1, "a"));
    queue.AddAckMessage(std::make_unique<BAckMsg>(2, "b"));
    EXPECT_EQ(queue.Count(), 2u);
    EXPECT_EQ(queue.Take()->tagPath, "a");
    queue.AddAckMessage(std::make_unique<BAckMsg>(3, "c"));
    queue.Clear();
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(queue.Take(), nullptr);
}

}  // namespace
}  // namespace velk
