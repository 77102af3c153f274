#pragma once
// Type signatures of the bus: splitting a signature into its complete types.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk {

// The complete types of a signature in order ("ias(ii)" gives "i", "as", "(ii)"); none
// when the signature is not valid (unbalanced brackets, unknown codes, a dictionary entry
// outside an array or with a non-basic key).
std::optional<std::vector<std::string>> SplitSignature(std::string_view signature);

// True for the codes of the basic types (numbers, strings, paths, signatures).
bool IsBasicTypeCode(char code);

}  // namespace velk
