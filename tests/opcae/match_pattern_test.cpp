#include "opcae/match_pattern.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

namespace velk {
namespace {

TEST(MatchPattern, WildcardsAndLiterals) {
    EXPECT_TRUE(MatchPattern("PLC1.G", "PLC1*"));
    EXPECT_TRUE(MatchPattern("PLC1", "PLC1*"));
    EXPECT_FALSE(MatchPattern("PLC2.G", "PLC1*"));
    EXPECT_TRUE(MatchPattern("PLC1.G", "*G"));
    EXPECT_TRUE(MatchPattern("abc", "a?c"));
    EXPECT_FALSE(MatchPattern("ac", "a?c"));
    EXPECT_TRUE(MatchPattern("PLC7", "PLC#"));
    EXPECT_FALSE(MatchPattern("PLCx", "PLC#"));
    EXPECT_TRUE(MatchPattern("", "*"));
    EXPECT_FALSE(MatchPattern("", "?"));
    EXPECT_TRUE(MatchPattern("a*b", "a[*]b"));
    EXPECT_FALSE(MatchPattern("axb", "a[*]b"));
    EXPECT_TRUE(MatchPattern("x.y.z", "*.*.*"));
    EXPECT_FALSE(MatchPattern("x.y", "*.*.*"));
    EXPECT_TRUE(MatchPattern("aXbXc", "*X*X*"));
}

TEST(MatchPattern, ListsRangesAndNegation) {
    EXPECT_TRUE(MatchPattern("PLC3", "PLC[1-3]"));
    EXPECT_FALSE(MatchPattern("PLC4", "PLC[1-3]"));
    EXPECT_TRUE(MatchPattern("PLC4", "PLC[!1-3]"));
    EXPECT_FALSE(MatchPattern("PLC2", "PLC[!1-3]"));
    EXPECT_TRUE(MatchPattern("b", "[abc]"));
    EXPECT_FALSE(MatchPattern("d", "[abc]"));
    EXPECT_TRUE(MatchPattern("-", "[a-]"));
    EXPECT_TRUE(MatchPattern("[x", "[x"));  // an unclosed list is a literal "["
}

TEST(MatchPattern, LettersCompareWithoutCase) {
    EXPECT_TRUE(MatchPattern("plc1.group", "PLC1*"));
    EXPECT_TRUE(MatchPattern("PLC1", "plc?"));
    EXPECT_TRUE(MatchPattern("Q", "[p-r]"));
    EXPECT_FALSE(MatchPattern("PLC1", "PLC1.G"));
}

// Random well-formed patterns against the same pattern written as a regular expression.
TEST(MatchPattern, AgreesWithARegularExpressionOnRandomInput) {
    struct Element {
        const char* pattern;
        const char* regex;
    };
    const Element elements[] = {{"a", "a"},         {"B", "b"},          {"1", "1"},
                                {".", "\\."},       {"?", "."},          {"*", ".*"},
                                {"#", "[0-9]"},     {"[ab]", "[ab]"},    {"[!a]", "[^a]"},
                                {"[a-c]", "[a-c]"}, {"[!0-9]", "[^0-9]"}};
    const char alphabet[] = "abcAB12.";
    std::mt19937 random(20151107);
    for (int round = 0; round < 3000; ++round) {
        std::string pattern;
        std::string regex;
        const int length = static_cast<int>(random() % 6);
        for (int i = 0; i < length; ++i) {
            const Element& e = elements[random() % std::size(elements)];
            pattern += e.pattern;
            regex += e.regex;
        }
        std::string text;
        const int textLength = static_cast<int>(random() % 7);
        for (int i = 0; i < textLength; ++i) text += alphabet[random() % (sizeof alphabet - 1)];
        const std::regex expected(regex, std::regex::icase);
        EXPECT_EQ(MatchPattern(text, pattern), std::regex_match(text, expected))
            << "text '" << text << "' pattern '" << pattern << "'";
    }
}

}  // namespace
}  // namespace velk
