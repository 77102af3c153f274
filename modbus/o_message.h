#pragma once
// One Modbus frame: the request that the server builds and, after the exchange, the answer
// that the controller sent back in the same buffer. The framings (ASCII, RTU, TCP) derive
// from this class; exchange, scan and supervision code only use this interface.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/clock.h"

namespace velk {

class OMessage {
  public:
    static constexpr std::size_t kBufferSize = 512;
    // Set in the function code of an exception answer.
    static constexpr std::uint8_t kExceptionBit = 0x80;

    virtual ~OMessage() = default;
    OMessage(const OMessage&) = delete;
    OMessage& operator=(const OMessage&) = delete;

    // Whether the frame in the buffer is a valid answer (or, for a broadcast that got no
    // answer, a complete request). Every framing fault shows here as false.
    virtual bool IsValid() const = 0;
    // Slave address (unit identifier) of the frame.
    virtual std::uint8_t GetSlave() const = 0;
    virtual std::uint8_t GetFunction() const = 0;
    // 0xFFFF when bit n of the answer data is set, else 0 (also beyond the data).
    virtual std::uint16_t GetBit(std::size_t n) const = 0;
    // Register n of the answer data; 0 beyond the data.
    virtual std::uint16_t GetWord(std::size_t n) const = 0;
    // Registers n and n + 1 as one value, register n most significant; 0 beyond the data.
    virtual std::uint32_t GetDWord(std::size_t n) const = 0;
    // Text from data byte n up to the first zero byte or the end of the answer data.
    virtual std::string GetString(std::size_t n) const = 0;
    // Appends one byte to the request; false (nothing appended) when the buffer is full.
    virtual bool PutByte(std::uint8_t byte) = 0;
    // Closes the request with its check field or header; false when it does not fit.
    virtual bool Finish() = 0;
    // Whether a frame being received byte-wise is complete.
    virtual bool IsComplete() const = 0;
    virtual std::uint16_t GetAnswerLength() const;

    // Empties the message: zero buffer, lengths, answer time, complete cleared.
    void Reset();

    // Stores a received answer; refused (false, message unchanged) unless it has exactly
    // the expected answer length. Sets the length, the answer time and complete. Reset
    // clears the expected length, so an exchange that resets before receiving sets it again.
    bool StoreAnswer(std::span<const std::uint8_t> answer, FileTime receivedAt);

    std::span<const std::uint8_t> Frame() const { return {buffer_.data(), length_}; }
    std::uint16_t Length() const { return length_; }
    void SetAnswerLength(std::uint16_t length) { answerLength_ = length; }
    FileTime AnswerTime() const { return answerTime_; }
    bool Complete() const { return complete_; }
    void SetComplete(bool complete) { complete_ = complete; }
    bool IsRtu() const { return isRtu_; }
    bool IsTcp() const { return isTcp_; }

    // Called once, when the channel first puts the request on the wire (its exchange or port
    // lock held). Readers that share an exchange date the request by this moment: a request
    // that still waits for the channel is sent after anyone who finds it waiting.
    void SetOnWire(std::function<void()> hook) { onWire_ = std::move(hook); }
    void MarkOnWire() {
        if (!onWire_) return;
        const std::function<void()> hook = std::move(onWire_);
        onWire_ = nullptr;
        hook();
    }

  protected:
    OMessage(bool isRtu, bool isTcp) : isRtu_(isRtu), isTcp_(isTcp) {}

    // Appends raw bytes or characters; false when they do not fit.
    bool Append(std::uint8_t byte);
    std::uint8_t At(std::size_t index) const { return index < length_ ? buffer_[index] : 0; }
    std::span<std::uint8_t> Writable() { return {buffer_.data(), length_}; }

    // The accessors of the answer data, shared by the framings, on the data bytes.
    static std::uint16_t BitOf(std::span<const std::uint8_t> data, std::size_t n);
    static std::uint16_t WordOf(std::span<const std::uint8_t> data, std::size_t n);
    static std::uint32_t DWordOf(std::span<const std::uint8_t> data, std::size_t n);
    static std::string StringOf(std::span<const std::uint8_t> data, std::size_t n);

  private:
    std::array<std::uint8_t, kBufferSize> buffer_{};
    std::uint16_t length_ = 0;
    std::uint16_t answerLength_ = 0;
    FileTime answerTime_ = 0;
    bool complete_ = false;
    std::function<void()> onWire_;
    bool isRtu_;
    bool isTcp_;
};

}  // namespace velk
