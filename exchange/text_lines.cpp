#include "exchange/text_lines.h"

#include "platform/text.h"

namespace velk {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

// Far more than a header line takes in UTF-16.
constexpr std::size_t kHeaderSearchBytes = 4096;

// The first line of little-endian UTF-16 bytes, decoded; only the first few kilobytes are
// looked at.
std::string FirstUtf16Line(std::string_view bytes) {
    bytes = bytes.substr(0, kHeaderSearchBytes);
    std::size_t end = 0;
    while (end + 1 < bytes.size() && !(bytes[end] == '\n' && bytes[end + 1] == '\0')) end += 2;
    std::string line = Utf16LeBytesToUtf8(bytes.substr(0, end));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool IsHeaderLine(std::string_view line) { return ParseCsvHeader(line).has_value(); }

}  // namespace

std::string DecodeCsvFile(std::string_view bytes, CsvFileKind* kind) {
    auto set = [kind](CsvFileKind k) {
        if (kind) *kind = k;
    };
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        set(CsvFileKind::Utf8Bom);
        const std::string_view body = bytes.substr(kUtf8Bom.size());
        // Broken sequences become U+FFFD so that the model only ever holds valid UTF-8.
        return Utf16ToUtf8(Utf8ToUtf16(body));
    }
    if (bytes.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
        set(CsvFileKind::Utf16LeBom);
        return Utf16LeBytesToUtf8(bytes.substr(kUtf16LeBom.size()));
    }
    if (IsHeaderLine(FirstUtf16Line(bytes))) {
        set(CsvFileKind::Utf16LeNoBom);
        return Utf16LeBytesToUtf8(bytes);
    }
    set(CsvFileKind::Latin1);
    return Latin1ToUtf8(bytes);
}

bool EncodeTextFile(std::string_view text, CsvEncoding encoding, std::string& out) {
    std::string withCrLf;
    withCrLf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') withCrLf += '\r';
        withCrLf += c;
    }
    switch (encoding) {
        case CsvEncoding::Latin1: {
            bool lossless = true;
            out = Utf8ToLatin1(withCrLf, &lossless);
            return lossless;
        }
        case CsvEncoding::Utf16Le:
            out = std::string(kUtf16LeBom) + Utf8ToUtf16LeBytes(withCrLf);
            return true;
        case CsvEncoding::Utf8:
            out = std::string(kUtf8Bom) + withCrLf;
            return true;
    }
    return false;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool terminated = end != std::string_view::npos;
        if (!terminated) end = text.size();
        std::size_t contentEnd = end;
        if (terminated && contentEnd > start && text[contentEnd - 1] == '\r') --contentEnd;
        lines.push_back(text.substr(start, contentEnd - start));
        start = end + 1;
    }
    return lines;
}

std::string_view CompleteLinesOnly(std::string_view text) {
    const std::size_t last = text.rfind('\n');
    if (last == std::string_view::npos) return {};
    return text.substr(0, last + 1);
}

}  // namespace velk
