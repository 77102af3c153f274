#include "modbus/b_modbus_tcp_buffer.h"

namespace velk {

void BModbusTCPBuffer::Push(OMessage* message) {
    std::lock_guard<std::mutex> guard(lock_);
    messages_.push_back(message);
}

OMessage* BModbusTCPBuffer::Pop() {
    std::lock_guard<std::mutex> guard(lock_);
    if (messages_.empty()) {
        return nullptr;
    }
    OMessage* head = messages_.front();
    messages_.pop_front();
    return head;
}

std::size_t BModbusTCPBuffer::Size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_.size();
}

}  // namespace velk
