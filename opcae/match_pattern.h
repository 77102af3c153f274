#pragma once
// Wildcard matching of area filters: ? any character, * any sequence, # one digit, [list]
// and [!list] with ranges such as [a-f]; letters compare without regard to ASCII case.
#include <string_view>

namespace velk {

// True when the whole text matches the pattern. A "[" without its "]" matches itself.
bool MatchPattern(std::string_view text, std::string_view pattern);

}  // namespace velk
