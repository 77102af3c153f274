#include "tools/plcsim/process_image.h"

namespace velk::plcsim {

ProcessImage::ProcessImage(std::size_t size)
    : size_(size), coils_(size), discretes_(size), holding_(size), input_(size) {}

bool ProcessImage::Contains(std::uint32_t address, std::uint32_t count) const {
    return count > 0 && address < size_ && count <= size_ - address;
}

std::vector<std::uint8_t>& ProcessImage::Bits(Table table) {
    return table == Table::kCoil ? coils_ : discretes_;
}

const std::vector<std::uint8_t>& ProcessImage::Bits(Table table) const {
    return table == Table::kCoil ? coils_ : discretes_;
}

std::vector<std::uint16_t>& ProcessImage::Words(Table table) {
    return table == Table::kHolding ? holding_ : input_;
}

const std::vector<std::uint16_t>& ProcessImage::Words(Table table) const {
    return table == Table::kHolding ? holding_ : input_;
}

bool ProcessImage::SetBit(Table table, std::uint32_t address, bool value) {
    if (!Contains(address, 1)) {
        return false;
    }
    Bits(table)[address] = value ? 1 : 0;
    return true;
}

bool ProcessImage::SetWord(Table table, std::uint32_t address, std::uint16_t value) {
    if (!Contains(address, 1)) {
        return false;
    }
    Words(table)[address] = value;
    return true;
}

bool ProcessImage::Bit(Table table, std::uint32_t address) const {
    return Contains(address, 1) && Bits(table)[address] != 0;
}

std::uint16_t ProcessImage::Word(Table table, std::uint32_t address) const {
    return Contains(address, 1) ? Words(table)[address] : 0;
}

}  // namespace velk::plcsim
