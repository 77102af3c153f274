#include "opcae/match_pattern.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velk
