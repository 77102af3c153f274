#pragma once
// The requests that write one tag value to the controller: function code 5 for coils, 6 for
// single registers and 16 for 32- and 64-bit values and texts; a device may ask for 15 and
// 16 in place of 5 and 6. A text longer than one request can carry goes out in several
// requests of consecutive registers.
#include <cstdint>
#include <memory>
#include <vector>

#include "modbus/message_framing.h"
#include "modbus/o_message.h"
#include "model/variant.h"
#include "platform/hresult.h"

namespace velk {

class OModbusTag;

// The function codes a device takes for single writes.
struct WriteFunctions {
    bool multipleRegisters = false;  // 16 for one register
    bool multipleCoils = false;      // 15 for one coil
};

// Builds the requests for writing value (already of the tag's data type, in raw units) to
// the tag's location. S_OK with at least one request; kTagNotWritable for locations that
// are never written (input status, input registers, event signals); E_FAIL when a request
// cannot be formed (address beyond the register space); a conversion error of a number that
// does not fit its registers is returned as is.
HRESULT BuildTagWriteRequests(MessageFraming framing, std::uint8_t slave, const OModbusTag& tag,
                              const Variant& value, bool wordSwap,
                              std::vector<std::unique_ptr<OMessage>>& requests,
                              WriteFunctions functions = {});

// True for the locations that a write may go to: output coils and holding registers.
bool IsWritableKind(std::int32_t kind);

}  // namespace velk
