// Fuzz target of the area and source wildcards: MatchPattern must agree with a plain
// table-driven matcher of the same pattern language for any text and pattern. The input is
// the text, a zero byte, then the pattern (without a zero byte the input is both).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "opcae/match_pattern.h"
#include "platform/text.h"

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// One pattern element: "*", or a test of one character.
struct Element {
    bool star = false;
    bool any = false;
    bool digit = false;
    bool negate = false;
    std::vector<std::pair<char16_t, char16_t>> ranges;  // folded, low <= high
    bool Accepts(char16_t c) const {
        if (any) return true;
        if (digit) return c >= u'0' && c <= u'9';
        bool in = false;
        for (const auto& [low, high] : ranges) in = in || (Lower(c) >= low && Lower(c) <= high);
        return in != negate;
    }
};

// The pattern as elements: "[" opens a list up to the next "]" that is not its first
// member ("[]]" lists "]"), "!" first negates it, "x-y" is a range unless "y" is that "]";
// a "[" without a closing "]" is a literal "[".
std::vector<Element> Compile(std::u16string_view p) {
    std::vector<Element> out;
    for (std::size_t i = 0; i < p.size();) {
        Element e;
        if (p[i] == u'*') {
            e.star = true;
            ++i;
        } else if (p[i] == u'?') {
            e.any = true;
            ++i;
        } else if (p[i] == u'#') {
            e.digit = true;
            ++i;
        } else if (p[i] == u'[') {
            std::size_t j = i + 1;
            if (j < p.size() && p[j] == u'!') {
                e.negate = true;
                ++j;
            }
            bool first = true;
            while (j < p.size() && (p[j] != u']' || first)) {
                first = false;
                char16_t low = Lower(p[j]);
                char16_t high = low;
                if (j + 2 < p.size() && p[j + 1] == u'-' && p[j + 2] != u']') {
                    high = Lower(p[j + 2]);
                    j += 2;
                }
                if (low > high) std::swap(low, high);
                e.ranges.emplace_back(low, high);
                ++j;
            }
            if (j < p.size()) {
                i = j + 1;
            } else {
                e = Element{};
                e.ranges.emplace_back(u'[', u'[');
                ++i;
            }
        } else {
            e.ranges.emplace_back(Lower(p[i]), Lower(p[i]));
            ++i;
        }
        out.push_back(std::move(e));
    }
    return out;
}

// Whole-text match by dynamic programming over (element, character).
bool Reference(std::u16string_view text, const std::vector<Element>& elements) {
    std::vector<char> row(text.size() + 1, 0);
    row[0] = 1;
    for (const Element& e : elements) {
        std::vector<char> next(text.size() + 1, 0);
        for (std::size_t t = 0; t <= text.size(); ++t) {
            if (e.star) {
                next[t] = row[t] || (t > 0 && next[t - 1]);
            } else if (t > 0) {
                next[t] = row[t - 1] && e.Accepts(text[t - 1]);
            }
        }
        row.swap(next);
    }
    return row[text.size()] != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Client filters are short; the reference matcher is quadratic.
    if (size > 4096) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t zero = input.find('\0');
    const std::string_view text = zero == std::string_view::npos ? input : input.substr(0, zero);
    const std::string_view pattern =
        zero == std::string_view::npos ? input : input.substr(zero + 1);
    const bool matched = velk::MatchPattern(text, pattern);
    const std::u16string text16 = velk::Utf8ToUtf16(text);
    if (matched != Reference(text16, Compile(velk::Utf8ToUtf16(pattern)))) std::abort();
    // "*" around any pattern keeps every match.
    if (matched && !velk::MatchPattern(text, "*" + std::string(pattern) + "*")) std::abort();
    return 0;
}
