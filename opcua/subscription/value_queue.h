#pragma once
// A monitored item's queue of values: a ring that doubles as the values it holds grow (to
// less than twice the item's queue size), so the common queue of one costs one value. (A
// deque takes a block of several values for its first.)
#include <cstddef>
#include <utility>
#include <vector>

#include "opcua/data_value.h"

namespace velk::ua {

class ValueQueue {
  public:
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    DataValue& front() { return ring_[head_]; }
    DataValue& back() { return ring_[(head_ + count_ - 1) % ring_.size()]; }

    void push_back(DataValue value) {
        if (count_ == ring_.size()) Grow();
        ring_[(head_ + count_) % ring_.size()] = std::move(value);
        ++count_;
    }
    void pop_front() {
        ring_[head_] = DataValue{};
        head_ = (head_ + 1) % ring_.size();
        --count_;
    }
    void pop_back() {
        back() = DataValue{};
        --count_;
    }
    void clear() {
        ring_.clear();
        ring_.shrink_to_fit();
        head_ = 0;
        count_ = 0;
    }

  private:
    // Straightens the ring into a larger one.
    void Grow() {
        std::vector<DataValue> larger;
        larger.reserve(ring_.empty() ? 1 : ring_.size() * 2);
        for (std::size_t i = 0; i < count_; ++i) {
            larger.push_back(std::move(ring_[(head_ + i) % ring_.size()]));
        }
        larger.resize(larger.capacity());
        ring_ = std::move(larger);
        head_ = 0;
    }

    std::vector<DataValue> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

}  // namespace velk::ua
