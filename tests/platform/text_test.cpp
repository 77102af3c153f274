#include "platform/text.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

TEST(Text, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
    const std::string text = "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, a-umlaut, euro, emoji
    const std::u16string wide = Utf8ToUtf16(text);
    ASSERT_EQ(wide.size(), 5u);
    EXPECT_EQ(wide[3], 0xD83D);
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf16LeBytesToUtf8(Utf8ToUtf16LeBytes(text)), text);
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("\xC3"), std::u16string(1, char16_t(0xFFFD)));
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), std::u16string(u"\xFFFD\xFFFD"));
    EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), std::u16string(1, char16_t(0xFFFD)));  // overlong
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16LeBytesToUtf8(std::string("A\0B", 3)), "A");  // odd last byte dropped
}

TEST(Text, Latin1ConversionsMarkLoss) {
    EXPECT_EQ(Latin1ToUtf8("\xE4"), "\xC3\xA4");
    bool lossless = true;
    EXPECT_EQ(Utf8ToLatin1("\xC3\xA4\xE2\x82\xAC", &lossless), "\xE4?");
    EXPECT_FALSE(lossless);
}

TEST(Text, CaseIsIgnoredForAsciiLettersOnly) {
    EXPECT_TRUE(EqualsNoCase("Device1.Level", "DEVICE1.level"));
    EXPECT_FALSE(EqualsNoCase("\xC3\xA4", "\xC3\x84"));  // a-umlaut vs A-umlaut
    EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
    EXPECT_LT(CompareNoCase("ab", "ABC"), 0);
    EXPECT_EQ(Utf8Length("\xC3\xA4x"), 2u);
}

}  // namespace
}  // namespace velk
