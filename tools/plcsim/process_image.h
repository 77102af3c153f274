#pragma once
// The simulated controller's four Modbus tables, 0-based, each of a fixed size. Addresses
// outside a table are refused so that the slave can answer with an exception.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velk::plcsim {

enum class Table { kCoil, kDiscrete, kHolding, kInput };

class ProcessImage {
  public:
    explicit ProcessImage(std::size_t size = 4096);

    std::size_t Size() const { return size_; }
    // Whether count entries from address lie inside the table.
    bool Contains(std::uint32_t address, std::uint32_t count) const;

    // Reads and writes; false (nothing changed) outside the table.
    bool SetBit(Table table, std::uint32_t address, bool value);
    bool SetWord(Table table, std::uint32_t address, std::uint16_t value);
    bool Bit(Table table, std::uint32_t address) const;
    std::uint16_t Word(Table table, std::uint32_t address) const;

  private:
    std::vector<std::uint8_t>& Bits(Table table);
    const std::vector<std::uint8_t>& Bits(Table table) const;
    std::vector<std::uint16_t>& Words(Table table);
    const std::vector<std::uint16_t>& Words(Table table) const;

    std::size_t size_;
    std::vector<std::uint8_t> coils_;
    std::vector<std::uint8_t> discretes_;
    std::vector<std::uint16_t> holding_;
    std::vector<std::uint16_t> input_;
};

}  // namespace velk::plcsim
