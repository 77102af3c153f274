#pragma once
// Modbus TCP framing: MBAP header (transaction 0, protocol 0, length), unit identifier, PDU.
#include "modbus/o_message.h"

namespace velk {

class OTcpMessage : public OMessage {
  public:
    // A new message holds the six reserved header bytes; the builder appends the unit
    // identifier next.
    OTcpMessage();

    bool IsValid() const override;
    std::uint8_t GetSlave() const override;
    std::uint8_t GetFunction() const override;
    std::uint16_t GetBit(std::size_t n) const override;
    std::uint16_t GetWord(std::size_t n) const override;
    std::uint32_t GetDWord(std::size_t n) const override;
    std::string GetString(std::size_t n) const override;
    bool PutByte(std::uint8_t byte) override;
    bool Finish() override;
    // Complete once the header is in and the bytes that its length field announces follow.
    bool IsComplete() const override;

  private:
    std::span<const std::uint8_t> AnswerData() const;
};

}  // namespace velk
