// DataValue's encoding: the mask bits and the order of the fields on the wire (the
// picoseconds follow their time stamp).
#include "opcua/data_value.h"

namespace velk::ua {

namespace {

constexpr std::uint8_t kValue = 0x01;
constexpr std::uint8_t kStatus = 0x02;
constexpr std::uint8_t kSourceTimestamp = 0x04;
constexpr std::uint8_t kServerTimestamp = 0x08;
constexpr std::uint8_t kSourcePicoseconds = 0x10;
constexpr std::uint8_t kServerPicoseconds = 0x20;

template <class T>
void DecodeIfPresent(BinaryReader& r, std::uint8_t mask, std::uint8_t bit,
                     std::optional<T>& field) {
    field.reset();
    if ((mask & bit) == 0 || !r.Ok()) return;
    T value{};
    Decode(r, value);
    field = std::move(value);
}

}  // namespace

void Encode(BinaryWriter& w, const DataValue& value) {
    if (!w.EnterNested()) return;
    const std::uint8_t mask = (value.value ? kValue : 0) | (value.status ? kStatus : 0) |
                              (value.sourceTimestamp ? kSourceTimestamp : 0) |
                              (value.serverTimestamp ? kServerTimestamp : 0) |
                              (value.sourcePicoseconds ? kSourcePicoseconds : 0) |
                              (value.serverPicoseconds ? kServerPicoseconds : 0);
    w.WriteByte(mask);
    if (value.value) Encode(w, *value.value);
    if (value.status) Encode(w, *value.status);
    if (value.sourceTimestamp) Encode(w, *value.sourceTimestamp);
    if (value.sourcePicoseconds) Encode(w, *value.sourcePicoseconds);
    if (value.serverTimestamp) Encode(w, *value.serverTimestamp);
    if (value.serverPicoseconds) Encode(w, *value.serverPicoseconds);
    w.LeaveNested();
}

void Decode(BinaryReader& r, DataValue& value) {
    NestingScope scope(r);
    if (!scope.Entered()) return;
    const std::uint8_t mask = r.ReadByte();
    if ((mask & 0xC0) != 0) {
        r.Fail(kBadDecodingError);
        return;
    }
    DecodeIfPresent(r, mask, kValue, value.value);
    DecodeIfPresent(r, mask, kStatus, value.status);
    DecodeIfPresent(r, mask, kSourceTimestamp, value.sourceTimestamp);
    DecodeIfPresent(r, mask, kSourcePicoseconds, value.sourcePicoseconds);
    DecodeIfPresent(r, mask, kServerTimestamp, value.serverTimestamp);
    DecodeIfPresent(r, mask, kServerPicoseconds, value.serverPicoseconds);
}

}  // namespace velk::ua
