#pragma once
// The received-packet queue: packets that the redundancy listener took from the peer,
// waiting for the client thread to apply them (which it does only while clients are
// connected). It is a BModbusTCPBuffer with a bound: anyone who reaches the port could fill
// it, so beyond the capacity the oldest packet is dropped. The queue owns what it holds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "modbus/b_modbus_tcp_buffer.h"
#include "modbus/o_tcp_message.h"
#include "platform/message_queue.h"

namespace velk {

// One packet as received, with the tick count (ms, monotonic) of its arrival.
class ReceivedPacket final : public OTcpMessage {
  public:
    ReceivedPacket(std::span<const std::uint8_t> bytes, std::uint32_t receivedTick);
    std::uint32_t ReceivedTick() const { return receivedTick_; }

  private:
    std::uint32_t receivedTick_;
};

class ReceivedPacketQueue;

// The payload of WM_REDUNDANCY_RECEIVED: the queue whose packets the client thread applies.
struct ReceivedPacketsNotice final : MessagePayload {
    explicit ReceivedPacketsNotice(ReceivedPacketQueue& queue) : queue(&queue) {}
    ReceivedPacketQueue* queue;
};

class ReceivedPacketQueue {
  public:
    static constexpr std::size_t kDefaultCapacity = 10000;

    explicit ReceivedPacketQueue(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}
    ~ReceivedPacketQueue();
    ReceivedPacketQueue(const ReceivedPacketQueue&) = delete;
    ReceivedPacketQueue& operator=(const ReceivedPacketQueue&) = delete;

    // Appends at the tail; true when the oldest packet had to be dropped for it.
    bool Push(std::unique_ptr<ReceivedPacket> packet);
    // The head; none when the queue is empty.
    std::unique_ptr<ReceivedPacket> Pop();
    std::size_t Size() const { return buffer_.Size(); }

  private:
    std::size_t capacity_;
    std::mutex pushLock_;  // one bounded push at a time
    BModbusTCPBuffer buffer_;
};

}  // namespace velk
