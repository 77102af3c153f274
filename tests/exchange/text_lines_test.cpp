// Encodings and line splitting of the exchange's text files.
#include "exchange/text_lines.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

using Lines = std::vector<std::string_view>;

TEST(TextLines, SplitDropsLineEndsAndKeepsLongLinesWhole) {
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(SplitLines("a\rb\n"), (Lines{"a\rb"}));
    EXPECT_TRUE(SplitLines("").empty());
    const std::string longLine(5000, 'x');
    const std::string text = longLine + "\r\nnext\r\n";
    const Lines lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 5000u);
    EXPECT_EQ(lines[1], "next");
}

TEST(TextLines, CompleteLinesOnlyDropsAnUnfinishedTail) {
    EXPECT_EQ(CompleteLinesOnly("a\nb\npar"), "a\nb\n");
    EXPECT_EQ(CompleteLinesOnly("a\n"), "a\n");
    EXPECT_EQ(CompleteLinesOnly("partial"), "");
}

TEST(TextLines, EncodeWritesCrLfAndTheByteOrderMarks) {
    std::string out;
    ASSERT_TRUE(EncodeTextFile("A\xC3\xA9\n", CsvEncoding::Latin1, out));
    EXPECT_EQ(out, std::string("A\xE9\r\n"));
    ASSERT_TRUE(EncodeTextFile("A\n", CsvEncoding::Utf8, out));
    EXPECT_EQ(out, std::string("\xEF\xBB\xBF"
                               "A\r\n"));
    ASSERT_TRUE(EncodeTextFile("A\xE2\x84\xA6\n", CsvEncoding::Utf16Le, out));
    EXPECT_EQ(out, std::string("\xFF\xFE"
                               "A\0\x26\x21\r\0\n\0",
                               10));
}

TEST(TextLines, EightBitEncodingRefusesCharactersAboveFF) {
    std::string out;
    EXPECT_TRUE(EncodeTextFile("\xC3\xBF", CsvEncoding::Latin1, out));       // U+00FF
    EXPECT_FALSE(EncodeTextFile("\xC4\x80", CsvEncoding::Latin1, out));      // U+0100
    EXPECT_FALSE(EncodeTextFile("\xE2\x82\xAC", CsvEncoding::Latin1, out));  // euro sign
}

TEST(TextLines, DecodeByByteOrderMarkOrByTheHeaderLine) {
    const std::string header = CsvHeaderLine(',');
    const std::string tabHeader = CsvHeaderLine('\t');
    CsvFileKind kind{};
    for (const std::string& first : {header, tabHeader}) {
        for (CsvEncoding encoding :
             {CsvEncoding::Latin1, CsvEncoding::Utf8, CsvEncoding::Utf16Le}) {
            const std::string text = first + "\nCaf\xC3\xA9\n";
            std::string bytes;
            ASSERT_TRUE(EncodeTextFile(text, encoding, bytes));
            EXPECT_EQ(SplitLines(DecodeCsvFile(bytes)), SplitLines(text));
            // Without the mark, UTF-16LE is still recognised by its header line.
            if (encoding == CsvEncoding::Utf16Le) {
                EXPECT_EQ(DecodeCsvFile(bytes.substr(2), &kind), DecodeCsvFile(bytes));
                EXPECT_EQ(kind, CsvFileKind::Utf16LeNoBom);
            }
        }
    }
    DecodeCsvFile("\xEF\xBB\xBFx", &kind);
    EXPECT_EQ(kind, CsvFileKind::Utf8Bom);
    DecodeCsvFile("\xFF\xFEx\0", &kind);
    EXPECT_EQ(kind, CsvFileKind::Utf16LeBom);
    EXPECT_EQ(DecodeCsvFile("Caf\xE9", &kind), "Caf\xC3\xA9");
    EXPECT_EQ(kind, CsvFileKind::Latin1);
}

TEST(TextLines, BrokenUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(DecodeCsvFile("\xEF\xBB\xBF"
                            "a\xFF"
                            "b"),
              "a\xEF\xBF\xBD"
              "b");
}

}  // namespace
}  // namespace velk
