#pragma once
// The exchange counters of one port or one device channel, as the Device Monitor shows them.
// Written by the exchanging thread, read by the monitor at any time.
#include <atomic>
#include <cstdint>

namespace velk {

struct ChannelCounts {
    std::uint32_t sent = 0;
    std::uint32_t received = 0;
    std::uint32_t timeouts = 0;
    std::uint32_t commErrors = 0;
    bool operator==(const ChannelCounts&) const = default;
};

class ChannelCounters {
  public:
    void AddSent() { sent_.fetch_add(1, std::memory_order_relaxed); }
    void AddReceived() { received_.fetch_add(1, std::memory_order_relaxed); }
    void AddTimeout() { timeouts_.fetch_add(1, std::memory_order_relaxed); }
    void AddCommError() { commErrors_.fetch_add(1, std::memory_order_relaxed); }

    ChannelCounts Counts() const {
        return {sent_.load(std::memory_order_relaxed), received_.load(std::memory_order_relaxed),
                timeouts_.load(std::memory_order_relaxed),
                commErrors_.load(std::memory_order_relaxed)};
    }

  private:
    std::atomic<std::uint32_t> sent_{0};
    std::atomic<std::uint32_t> received_{0};
    std::atomic<std::uint32_t> timeouts_{0};
    std::atomic<std::uint32_t> commErrors_{0};
};

}  // namespace velk
