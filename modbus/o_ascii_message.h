#pragma once
// Modbus ASCII framing: ':' , the frame bytes as upper-case hexadecimal pairs, the LRC as a
// pair, CR LF. Lengths count characters.
#include "modbus/o_message.h"

namespace velk {

class OAsciiMessage : public OMessage {
  public:
    // A new message holds the start character ':'.
    OAsciiMessage();

    // Also refuses any character between ':' and CR LF that is not an upper-case
    // hexadecimal digit, and exception answers.
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
    // Number of data bytes of a read answer: after the byte count pair, before the LRC.
    std::size_t DataCount() const;
    // Data byte k, decoded from its pair; 0 beyond the data.
    std::uint8_t DataByte(std::size_t k) const;
    std::uint8_t PairAt(std::size_t character) const;
};

}  // namespace velk
