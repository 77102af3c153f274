// DiagnosticInfo's encoding. The fields follow in a fixed order, which is not the order of
// their mask bits (the locale comes before the localized text).
#include "opcua/diagnostic_info.h"

namespace velk::ua {

namespace {

constexpr std::uint8_t kSymbolicId = 0x01;
constexpr std::uint8_t kNamespaceUri = 0x02;
constexpr std::uint8_t kLocalizedText = 0x04;
constexpr std::uint8_t kLocale = 0x08;
constexpr std::uint8_t kAdditionalInfo = 0x10;
constexpr std::uint8_t kInnerStatusCode = 0x20;
constexpr std::uint8_t kInnerDiagnosticInfo = 0x40;

template <class T>
std::uint8_t Bit(const std::optional<T>& field, std::uint8_t bit) {
    return field.has_value() ? bit : 0;
}

template <class T>
void DecodeIfMasked(BinaryReader& r, std::uint8_t mask, std::uint8_t bit, std::optional<T>& field) {
    field.reset();
    if ((mask & bit) == 0) return;
    T value{};
    Decode(r, value);
    field = std::move(value);
}

}  // namespace

void Encode(BinaryWriter& w, const DiagnosticInfo& value) {
    if (!w.EnterNested()) return;
    const std::uint8_t mask =
        Bit(value.symbolicId, kSymbolicId) | Bit(value.namespaceUri, kNamespaceUri) |
        Bit(value.localizedText, kLocalizedText) | Bit(value.locale, kLocale) |
        Bit(value.additionalInfo, kAdditionalInfo) | Bit(value.innerStatusCode, kInnerStatusCode) |
        Bit(value.innerDiagnosticInfo, kInnerDiagnosticInfo);
    w.WriteByte(mask);
    if (value.symbolicId) Encode(w, *value.symbolicId);
    if (value.namespaceUri) Encode(w, *value.namespaceUri);
    if (value.locale) Encode(w, *value.locale);
    if (value.localizedText) Encode(w, *value.localizedText);
    if (value.additionalInfo) Encode(w, *value.additionalInfo);
    if (value.innerStatusCode) Encode(w, *value.innerStatusCode);
    if (value.innerDiagnosticInfo) Encode(w, **value.innerDiagnosticInfo);
    w.LeaveNested();
}

void Decode(BinaryReader& r, DiagnosticInfo& value) {
    NestingScope scope(r);
    if (!scope.Entered()) return;
    const std::uint8_t mask = r.ReadByte();
    if ((mask & 0x80) != 0) {
        r.Fail(kBadDecodingError);
        return;
    }
    DecodeIfMasked(r, mask, kSymbolicId, value.symbolicId);
    DecodeIfMasked(r, mask, kNamespaceUri, value.namespaceUri);
    DecodeIfMasked(r, mask, kLocale, value.locale);
    DecodeIfMasked(r, mask, kLocalizedText, value.localizedText);
    DecodeIfMasked(r, mask, kAdditionalInfo, value.additionalInfo);
    DecodeIfMasked(r, mask, kInnerStatusCode, value.innerStatusCode);
    value.innerDiagnosticInfo.reset();
    if ((mask & kInnerDiagnosticInfo) != 0 && r.Charge(sizeof(DiagnosticInfo))) {
        DiagnosticInfo inner;
        Decode(r, inner);
        value.innerDiagnosticInfo = Boxed<DiagnosticInfo>(std::move(inner));
    }
}

}  // namespace velk::ua
