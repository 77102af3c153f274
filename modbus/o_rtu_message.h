#pragma once
// Modbus RTU framing: slave address, PDU, CRC-16 low byte first.
#include "modbus/o_message.h"

namespace velk {

class ORtuMessage : public OMessage {
  public:
    ORtuMessage() : OMessage(true, false) {}

    bool IsValid() const override;
    std::uint8_t GetSlave() const override;
    std::uint8_t GetFunction() const override;
    std::uint16_t GetBit(std::size_t n) const override;
    std::uint16_t GetWord(std::size_t n) const override;
    std::uint32_t GetDWord(std::size_t n) const override;
    std::string GetString(std::size_t n) const override;
    bool PutByte(std::uint8_t byte) override;
    bool Finish() override;
    bool IsComplete() const override;

  private:
    // Data bytes of a read answer: after slave, function code and byte count, before the CRC.
    std::span<const std::uint8_t> AnswerData() const;
};

}  // namespace velk
