// Fuzz target of the UA binary decoder. The first input byte picks the type, the rest is
// decoded as one value of it with tight limits. Any input must be answered without reading
// outside it or nesting past the limit; a value that decodes must encode, and its encoding
// must decode and encode again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "opcua/data_value.h"
#include "opcua/diagnostic_info.h"
#include "opcua/extension_object.h"
#include "opcua/node_id.h"
#include "opcua/structure_codec.h"
#include "opcua/variant.h"

namespace {

using namespace velk::ua;

DecodeLimits Tight() {
    DecodeLimits limits;
    limits.maxStringLength = 4096;
    limits.maxByteStringLength = 4096;
    limits.maxArrayLength = 4096;
    limits.maxNestingDepth = 16;
    return limits;
}

template <class T>
void RoundTrip(std::span<const std::uint8_t> input) {
    BinaryReader r(input, Tight());
    T value{};
    Decode(r, value);
    if (r.Position() > input.size()) std::abort();
    if (!r.Ok()) {
        const StatusCode s = r.Status();
        if (s != kBadDecodingError && s != kBadEncodingLimitsExceeded) std::abort();
        return;
    }
    BinaryWriter first;
    Encode(first, value);
    if (!first.Ok()) std::abort();
    BinaryReader again(first.Bytes(), Tight());
    T copy{};
    Decode(again, copy);
    if (!again.Ok() || again.Remaining() != 0) std::abort();
    BinaryWriter second;
    Encode(second, copy);
    if (second.Bytes() != first.Bytes()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> input(data + 1, size - 1);
    switch (data[0] % 8) {
        case 0:
            RoundTrip<Variant>(input);
            break;
        case 1:
            RoundTrip<DataValue>(input);
            break;
        case 2:
            RoundTrip<DiagnosticInfo>(input);
            break;
        case 3:
            RoundTrip<NodeId>(input);
            break;
        case 4:
            RoundTrip<ExpandedNodeId>(input);
            break;
        case 5:
            RoundTrip<ExtensionObject>(input);
            break;
        case 6:
            RoundTrip<LocalizedText>(input);
            break;
        default:
            RoundTrip<std::vector<Variant>>(input);
            break;
    }
    return 0;
}
