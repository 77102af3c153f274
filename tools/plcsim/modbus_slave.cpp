#include "tools/plcsim/modbus_slave.h"

#include "modbus/modbus_requests.h"

namespace velk::plcsim {
namespace {

using Pdu = std::vector<std::uint8_t>;

std::uint16_t WordAt(std::span<const std::uint8_t> pdu, std::size_t offset) {
    return static_cast<std::uint16_t>((pdu[offset] << 8) | pdu[offset + 1]);
}

void PutWord(Pdu& pdu, std::uint16_t value) {
    pdu.push_back(static_cast<std::uint8_t>(value >> 8));
    pdu.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

}  // namespace

bool ModbusSlave::Accepts(std::uint8_t unit, bool tcp) const {
    return unit == unit_ || unit == kBroadcastAddress || (tcp && unit == 255);
}

Pdu ModbusSlave::ExceptionPdu(std::uint8_t function, std::uint8_t code) {
    return {static_cast<std::uint8_t>(function | 0x80), code};
}

std::optional<Pdu> ModbusSlave::Handle(std::span<const std::uint8_t> pdu, int channel) {
    if (pdu.empty()) {
        return std::nullopt;
    }
    const std::uint8_t function = pdu[0];
    ++counters_.requests;
    ++counters_.byFunction[function];
    ++counters_.byChannel[channel];
    Pdu answer;
    switch (function) {
        case function_code::kReadCoils:
            answer = ReadBits(pdu, Table::kCoil);
            break;
        case function_code::kReadDiscreteInputs:
            answer = ReadBits(pdu, Table::kDiscrete);
            break;
        case function_code::kReadHoldingRegisters:
            answer = ReadWords(pdu, Table::kHolding);
            break;
        case function_code::kReadInputRegisters:
            answer = ReadWords(pdu, Table::kInput);
            break;
        case function_code::kWriteSingleCoil:
            answer = WriteCoil(pdu);
            break;
        case function_code::kWriteSingleRegister:
            answer = WriteRegister(pdu);
            break;
        case function_code::kDiagnostics:
            answer = Diagnostics(pdu);
            break;
        case function_code::kWriteMultipleCoils:
            answer = WriteCoils(pdu);
            break;
        case function_code::kWriteMultipleRegisters:
            answer = WriteRegisters(pdu);
            break;
        case function_code::kTimeSync:
            answer = TimeSync(pdu, channel);
            break;
        default:
            answer = ExceptionPdu(function, exception_code::kIllegalFunction);
            break;
    }
    ++counters_.answers;
    if ((answer[0] & 0x80) != 0) {
        ++counters_.exceptions;
    }
    return answer;
}

Pdu ModbusSlave::ReadBits(std::span<const std::uint8_t> pdu, Table table) {
    if (pdu.size() != 5) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    const std::uint16_t start = WordAt(pdu, 1);
    const std::uint16_t count = WordAt(pdu, 3);
    if (count == 0 || count > kMaxReadBits) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    if (!image_.Contains(start, count)) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataAddress);
    }
    Pdu answer = {pdu[0], static_cast<std::uint8_t>((count + 7) / 8)};
    answer.resize(2 + answer[1], 0);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (image_.Bit(table, start + i)) {
            answer[2 + i / 8] = static_cast<std::uint8_t>(answer[2 + i / 8] | (1u << (i % 8)));
        }
    }
    return answer;
}

Pdu ModbusSlave::ReadWords(std::span<const std::uint8_t> pdu, Table table) {
    if (pdu.size() != 5) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    const std::uint16_t start = WordAt(pdu, 1);
    const std::uint16_t count = WordAt(pdu, 3);
    if (count == 0 || count > kMaxReadRegisters) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    if (!image_.Contains(start, count)) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataAddress);
    }
    Pdu answer = {pdu[0], static_cast<std::uint8_t>(2 * count)};
    for (std::uint32_t i = 0; i < count; ++i) {
        PutWord(answer, image_.Word(table, start + i));
    }
    return answer;
}

Pdu ModbusSlave::WriteCoil(std::span<const std::uint8_t> pdu) {
    if (pdu.size() != 5) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    const std::uint16_t address = WordAt(pdu, 1);
    const std::uint16_t value = WordAt(pdu, 3);
    if (value != 0xFF00 && value != 0x0000) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    if (!image_.SetBit(Table::kCoil, address, value == 0xFF00)) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataAddress);
    }
    return Pdu(pdu.begin(), pdu.end());
}

Pdu ModbusSlave::WriteRegister(std::span<const std::uint8_t> pdu) {
    if (pdu.size() != 5) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    if (!image_.SetWord(Table::kHolding, WordAt(pdu, 1), WordAt(pdu, 3))) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataAddress);
    }
    return Pdu(pdu.begin(), pdu.end());
}

Pdu ModbusSlave::WriteCoils(std::span<const std::uint8_t> pdu) {
    if (pdu.size() < 6) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    const std::uint16_t start = WordAt(pdu, 1);
    const std::uint16_t count = WordAt(pdu, 3);
    const std::size_t bytes = pdu[5];
    if (count == 0 || count > 1968 || bytes != (count + 7u) / 8u || pdu.size() != 6 + bytes) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    if (!image_.Contains(start, count)) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataAddress);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        image_.SetBit(Table::kCoil, start + i, ((pdu[6 + i / 8] >> (i % 8)) & 1u) != 0);
    }
    return Pdu(pdu.begin(), pdu.begin() + 5);
}

Pdu ModbusSlave::WriteRegisters(std::span<const std::uint8_t> pdu) {
    if (pdu.size() < 6) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    const std::uint16_t start = WordAt(pdu, 1);
    const std::uint16_t count = WordAt(pdu, 3);
    const std::size_t bytes = pdu[5];
    if (count == 0 || count > kMaxWriteRegisters || bytes != 2u * count ||
        pdu.size() != 6 + bytes) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    if (!image_.Contains(start, count)) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataAddress);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        image_.SetWord(Table::kHolding, start + i, WordAt(pdu, 6 + 2 * i));
    }
    return Pdu(pdu.begin(), pdu.begin() + 5);
}

Pdu ModbusSlave::Diagnostics(std::span<const std::uint8_t> pdu) {
    if (pdu.size() < 3) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    // Only "return query data" is simulated: the request comes back unchanged.
    if (WordAt(pdu, 1) != kDiagnosticSubFunction) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalFunction);
    }
    return Pdu(pdu.begin(), pdu.end());
}

Pdu ModbusSlave::TimeSync(std::span<const std::uint8_t> pdu, int channel) {
    if (pdu.size() != 10 || pdu[1] != 8) {
        return ExceptionPdu(pdu[0], exception_code::kIllegalDataValue);
    }
    TimeSyncRecord record;
    record.time.millisecond = pdu[3] * 100 + pdu[2];
    record.time.second = pdu[4];
    record.time.minute = pdu[5];
    record.time.hour = pdu[6];
    record.time.day = pdu[7];
    record.time.month = pdu[8];
    record.time.year = 2000 + pdu[9];
    record.channel = channel;
    record.count = lastTimeSync_ ? lastTimeSync_->count + 1 : 1;
    lastTimeSync_ = record;
    return {pdu[0], pdu[1]};
}

}  // namespace velk::plcsim
