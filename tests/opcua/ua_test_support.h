#pragma once
// Encoding and decoding one value to and from bytes, for the UA encoding tests.
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "opcua/binary_reader.h"
#include "opcua/binary_writer.h"
#include "opcua/status_codes.h"

namespace velk::ua::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes B(std::initializer_list<int> values) {
    Bytes bytes;
    for (const int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

template <class T>
Bytes EncodeBytes(const T& value, const EncodeLimits& limits = {}) {
    BinaryWriter w(limits);
    Encode(w, value);
    return w.Ok() ? w.Take() : Bytes{};
}

template <class T>
StatusCode EncodeStatus(const T& value, const EncodeLimits& limits = {}) {
    BinaryWriter w(limits);
    Encode(w, value);
    return w.Status();
}

template <class T>
struct Decoded {
    T value{};
    StatusCode status;
    std::size_t consumed = 0;
};

template <class T>
Decoded<T> DecodeBytes(const Bytes& bytes, const DecodeLimits& limits = {}) {
    BinaryReader r(bytes, limits);
    Decoded<T> result;
    Decode(r, result.value);
    result.status = r.Status();
    result.consumed = r.Position();
    return result;
}

}  // namespace velk::ua::test
