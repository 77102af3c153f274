#pragma once
// The 1.0 data streams, byte for byte: a group header, one item header per item, then the
// values as 16-byte VARIANTs, each followed by its string or array payload. Little-endian,
// offsets from the start of the block, no padding between values.
#include <cstdint>
#include <vector>

#include "opcda/opc_value.h"
#include "platform/clock.h"
#include "platform/hresult.h"

namespace velk {

inline constexpr std::size_t kGroupHeaderSize = 20;       // OPCGROUPHEADER
inline constexpr std::size_t kItemHeader1Size = 20;       // OPCITEMHEADER1 (with time)
inline constexpr std::size_t kItemHeader2Size = 12;       // OPCITEMHEADER2
inline constexpr std::size_t kGroupHeaderWriteSize = 16;  // OPCGROUPHEADERWRITE
inline constexpr std::size_t kItemHeaderWriteSize = 8;    // OPCITEMHEADERWRITE
inline constexpr std::size_t kVariantSize = 16;
inline constexpr std::size_t kSafeArrayDescriptorSize = 24;

struct StreamItem {
    std::uint32_t hClient = 0;
    std::uint16_t quality = 0;
    FileTime timestamp = 0;
    OpcValue value;
};

struct WriteCompleteItem {
    std::uint32_t hClient = 0;
    HRESULT error = S_OK;
};

// OPCSTMFORMATDATA (withTime false) or OPCSTMFORMATDATATIME (true). hrStatus is S_FALSE
// when any quality has neither bit of 0xC0 set; dwSize is the total length.
std::vector<std::uint8_t> BuildDataStream(bool withTime, std::uint32_t hClientGroup,
                                          std::uint32_t transactionID,
                                          const std::vector<StreamItem>& items);
// OPCSTMFORMATWRITECOMPLETE; hrStatus is S_FALSE when any error is not S_OK.
std::vector<std::uint8_t> BuildWriteCompleteStream(std::uint32_t hClientGroup,
                                                   std::uint32_t transactionID,
                                                   const std::vector<WriteCompleteItem>& items);

// Appends one VARIANT and its payload.
void AppendVariant(std::vector<std::uint8_t>& out, const OpcValue& value);

}  // namespace velk
