#pragma once
// Text files as the exchange reads and writes them: byte-order marks, the 8-bit and UTF-16
// encodings, and lines that end with CR LF on disk and with a line feed in memory.
#include <string>
#include <string_view>
#include <vector>

#include "exchange/csv_format.h"

namespace velk {

// How the bytes of an imported CSV file were decoded.
enum class CsvFileKind { Utf8Bom, Utf16LeBom, Utf16LeNoBom, Latin1 };

// Decodes a CSV file to UTF-8 text. A UTF-8 or UTF-16LE byte-order mark decides; without
// one the file is UTF-16LE when its first line reads as one of the header lines in it,
// else ISO 8859-1 (the first export format).
std::string DecodeCsvFile(std::string_view bytes, CsvFileKind* kind = nullptr);

// Encodes UTF-8 text with line feeds for the disk: CR LF line ends, the encoding's
// byte-order mark. False when a character cannot be written in the encoding (above
// U+00FF for ISO 8859-1); out is then incomplete.
bool EncodeTextFile(std::string_view text, CsvEncoding encoding, std::string& out);

// The lines of a text, without their line ends (CR LF or LF). A text ending with a line
// end has no empty line after it; lines of any length are kept whole.
std::vector<std::string_view> SplitLines(std::string_view text);

// Drops the part after the last line end: what a failed read left of an unfinished line.
std::string_view CompleteLinesOnly(std::string_view text);

}  // namespace velk
