#pragma once
// OPC qualities as readable text: the quality (good, uncertain, bad) with its sub-status in
// parentheses, as in "good", "bad (comm failure)", "uncertain (last usable value)", and the
// limit bits when set ("good, high limited").
#include <cstdint>
#include <string>

namespace velk::client {

std::string QualityText(std::uint16_t quality);

}  // namespace velk::client
