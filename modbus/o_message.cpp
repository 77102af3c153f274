#include "modbus/o_message.h"

#include <algorithm>

namespace velk {

std::uint16_t OMessage::GetAnswerLength() const { return answerLength_; }

void OMessage::Reset() {
    buffer_.fill(0);
    length_ = 0;
    answerLength_ = 0;
    answerTime_ = 0;
    complete_ = false;
}

bool OMessage::StoreAnswer(std::span<const std::uint8_t> answer, FileTime receivedAt) {
    if (answerLength_ == 0 || answer.size() != answerLength_ || answer.size() > kBufferSize) {
        return false;
    }
    buffer_.fill(0);
    std::copy(answer.begin(), answer.end(), buffer_.begin());
    length_ = static_cast<std::uint16_t>(answer.size());
    answerTime_ = receivedAt;
    complete_ = true;
    return true;
}

bool OMessage::Append(std::uint8_t byte) {
    if (length_ >= kBufferSize) {
        return false;
    }
    buffer_[length_++] = byte;
    return true;
}

std::uint16_t OMessage::BitOf(std::span<const std::uint8_t> data, std::size_t n) {
    const std::size_t byteIndex = n / 8;
    if (byteIndex >= data.size()) {
        return 0;
    }
    return (data[byteIndex] >> (n % 8)) & 1u ? 0xFFFF : 0;
}

std::uint16_t OMessage::WordOf(std::span<const std::uint8_t> data, std::size_t n) {
    if (n >= data.size() / 2) {
        return 0;
    }
    return static_cast<std::uint16_t>((data[2 * n] << 8) | data[2 * n + 1]);
}

std::uint32_t OMessage::DWordOf(std::span<const std::uint8_t> data, std::size_t n) {
    if (2 * n + 3 >= data.size()) {
        return 0;
    }
    return (static_cast<std::uint32_t>(WordOf(data, n)) << 16) | WordOf(data, n + 1);
}

std::string OMessage::StringOf(std::span<const std::uint8_t> data, std::size_t n) {
    std::string text;
    for (std::size_t k = n; k < data.size() && data[k] != 0; ++k) {
        text.push_back(static_cast<char>(data[k]));
    }
    return text;
}

}  // namespace velk
