#include "modbus/modbus_requests.h"

#include <vector>

namespace velk {
namespace {

constexpr std::uint32_t kAddressSpace = 0x10000;

bool FitsAddressSpace(std::uint32_t start, std::uint32_t count) {
    return start + count <= kAddressSpace;
}

// Slave address, function code and the fields, closed by Finish; expected answer length from
// the PDU length of the answer.
std::unique_ptr<OMessage> Build(MessageFraming framing, std::uint8_t slave, std::uint8_t function,
                                std::span<const std::uint8_t> fields, std::size_t answerPdu) {
    auto message = CreateMessage(framing);
    bool fits = message->PutByte(slave) && message->PutByte(function);
    for (std::uint8_t byte : fields) {
        fits = fits && message->PutByte(byte);
    }
    if (!fits || !message->Finish()) {
        return nullptr;
    }
    message->SetAnswerLength(FrameLength(framing, answerPdu));
    message->SetComplete(true);
    return message;
}

void PutWord(std::vector<std::uint8_t>& fields, std::uint16_t value) {
    fields.push_back(static_cast<std::uint8_t>(value >> 8));
    fields.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::unique_ptr<OMessage> BuildRead(MessageFraming framing, std::uint8_t slave,
                                    std::uint8_t function, std::uint32_t start, std::uint16_t count,
                                    bool bits) {
    const std::uint16_t limit = bits ? kMaxReadBits : kMaxReadRegisters;
    if (count == 0 || count > limit || !FitsAddressSpace(start, count)) {
        return nullptr;
    }
    std::vector<std::uint8_t> fields;
    PutWord(fields, static_cast<std::uint16_t>(start));
    PutWord(fields, count);
    const std::size_t dataBytes = bits ? (count + 7u) / 8u : 2u * count;
    // Function code, byte count, data.
    return Build(framing, slave, function, fields, 2 + dataBytes);
}

}  // namespace

std::unique_ptr<OMessage> BuildReadRequest(MessageFraming framing, std::uint8_t slave,
                                           ReadArea area, std::uint16_t start,
                                           std::uint16_t count) {
    switch (area) {
        case ReadArea::kInputStatus:
            return BuildRead(framing, slave, function_code::kReadDiscreteInputs, start, count,
                             true);
        case ReadArea::kOutputCoil:
            return BuildRead(framing, slave, function_code::kReadCoils, start, count, true);
        case ReadArea::kInputRegister:
            return BuildRead(framing, slave, function_code::kReadInputRegisters, start, count,
                             false);
        case ReadArea::kHoldingRegister:
            return BuildRead(framing, slave, function_code::kReadHoldingRegisters, start, count,
                             false);
        case ReadArea::kEventSignal:
            break;
    }
    return BuildRead(framing, slave, function_code::kReadCoils,
                     std::uint32_t{kEventSignalCoilBase} + start, count, true);
}

std::unique_ptr<OMessage> BuildStatusRequest(MessageFraming framing, std::uint8_t slave) {
    return BuildRead(framing, slave, function_code::kReadCoils, kEventSignalCoilBase,
                     kStatusSignalCount, true);
}

std::unique_ptr<OMessage> BuildEventBufferRequest(MessageFraming framing, std::uint8_t slave,
                                                  std::uint16_t base, std::uint16_t offset,
                                                  std::uint16_t count) {
    return BuildRead(framing, slave, function_code::kReadHoldingRegisters,
                     std::uint32_t{base} + offset, count, false);
}

std::unique_ptr<OMessage> BuildDiagnosticRequest(MessageFraming framing, std::uint8_t slave) {
    std::vector<std::uint8_t> fields;
    PutWord(fields, kDiagnosticSubFunction);
    PutWord(fields, kDiagnosticData);
    auto message = Build(framing, slave, function_code::kDiagnostics, fields, 0);
    if (message) {
        message->SetAnswerLength(message->Length());
    }
    return message;
}

std::unique_ptr<OMessage> BuildWriteCoilRequest(MessageFraming framing, std::uint8_t slave,
                                                std::uint16_t address, bool set) {
    std::vector<std::uint8_t> fields;
    PutWord(fields, address);
    PutWord(fields, set ? 0xFF00 : 0x0000);
    return Build(framing, slave, function_code::kWriteSingleCoil, fields, 5);
}

std::unique_ptr<OMessage> BuildWriteOneCoilAsMultipleRequest(MessageFraming framing,
                                                             std::uint8_t slave,
                                                             std::uint16_t address, bool set) {
    std::vector<std::uint8_t> fields;
    PutWord(fields, address);
    PutWord(fields, 1);
    fields.push_back(1);
    fields.push_back(set ? 1 : 0);
    return Build(framing, slave, function_code::kWriteMultipleCoils, fields, 5);
}

std::unique_ptr<OMessage> BuildWriteRegisterRequest(MessageFraming framing, std::uint8_t slave,
                                                    std::uint16_t address, std::uint16_t value) {
    std::vector<std::uint8_t> fields;
    PutWord(fields, address);
    PutWord(fields, value);
    return Build(framing, slave, function_code::kWriteSingleRegister, fields, 5);
}

std::unique_ptr<OMessage> BuildMaskWriteRegisterRequest(MessageFraming framing, std::uint8_t slave,
                                                        std::uint16_t address,
                                                        std::uint16_t andMask,
                                                        std::uint16_t orMask) {
    std::vector<std::uint8_t> fields;
    PutWord(fields, address);
    PutWord(fields, andMask);
    PutWord(fields, orMask);
    // The answer echoes the request.
    return Build(framing, slave, function_code::kMaskWriteRegister, fields, 7);
}

std::unique_ptr<OMessage> BuildWriteRegistersRequest(MessageFraming framing, std::uint8_t slave,
                                                     std::uint16_t address,
                                                     std::span<const std::uint16_t> values) {
    if (values.empty() || values.size() > kMaxWriteRegisters ||
        !FitsAddressSpace(address, static_cast<std::uint32_t>(values.size()))) {
        return nullptr;
    }
    std::vector<std::uint8_t> fields;
    PutWord(fields, address);
    PutWord(fields, static_cast<std::uint16_t>(values.size()));
    fields.push_back(static_cast<std::uint8_t>(2 * values.size()));
    for (std::uint16_t value : values) {
        PutWord(fields, value);
    }
    return Build(framing, slave, function_code::kWriteMultipleRegisters, fields, 5);
}

std::unique_ptr<OMessage> BuildTimeSyncRequest(MessageFraming framing, const LocalTime& local) {
    const auto byteOf = [](int value) { return static_cast<std::uint8_t>(value & 0xFF); };
    const std::uint8_t fields[] = {
        8,
        byteOf(local.millisecond % 100),
        byteOf(local.millisecond / 100),
        byteOf(local.second),
        byteOf(local.minute),
        byteOf(local.hour),
        byteOf(local.day),
        byteOf(local.month),
        byteOf(local.year % 100),
    };
    auto message = Build(framing, kBroadcastAddress, function_code::kTimeSync, fields, 2);
    if (message && framing != MessageFraming::kTcp) {
        message->SetAnswerLength(0);
    }
    return message;
}

}  // namespace velk
