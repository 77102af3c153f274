// Byte-level encoding of primitives, counts and texts in the object stream.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "model/object_archive.h"
#include "tests/model/archive_bytes.h"

namespace velk {
namespace {

using testing::Bytes;
using testing::Hex;

TEST(ArchiveEncodingTest, IntegersAreLittleEndianFixedWidthWithoutPadding) {
    ObjectArchive ar;
    ar.PutU8(0xAB);
    ar.PutU16(0x1234);
    ar.PutU32(0xDEADBEEF);
    ar.PutI16(-2);
    ar.PutI32(-1);
    EXPECT_EQ(Hex(ar.Bytes()), "AB 34 12 EF BE AD DE FE FF FF FF FF FF");

    ObjectArchive in(ar.Bytes());
    std::uint8_t b = 0;
    std::uint16_t w = 0;
    std::uint32_t d = 0;
    std::int16_t s = 0;
    std::int32_t l = 0;
    ASSERT_TRUE(in.GetU8(b) && in.GetU16(w) && in.GetU32(d) && in.GetI16(s) && in.GetI32(l));
    EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(d, 0xDEADBEEFu);
    EXPECT_EQ(s, -2);
    EXPECT_EQ(l, -1);
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(ArchiveEncodingTest, DoublesAreBinary64LittleEndian) {
    ObjectArchive ar;
    ar.PutDouble(100.0);
    ar.PutDouble(-0.5);
    EXPECT_EQ(Hex(ar.Bytes()), "00 00 00 00 00 00 59 40 00 00 00 00 00 00 E0 BF");

    ObjectArchive in(ar.Bytes());
    double a = 0;
    double b = 0;
    ASSERT_TRUE(in.GetDouble(a) && in.GetDouble(b));
    EXPECT_EQ(a, 100.0);
    EXPECT_EQ(b, -0.5);

    ObjectArchive nan;
    nan.PutDouble(std::numeric_limits<double>::quiet_NaN());
    ObjectArchive nanIn(nan.Bytes());
    double n = 0;
    ASSERT_TRUE(nanIn.GetDouble(n));
    EXPECT_TRUE(std::isnan(n));
}

TEST(ArchiveEncodingTest, CountsEscapeTo32BitsFrom0xFFFF) {
    ObjectArchive ar;
    ar.PutCount(0);
    ar.PutCount(0xFFFE);
    ar.PutCount(0xFFFF);
    ar.PutCount(0x12345678);
    EXPECT_EQ(Hex(ar.Bytes()), "00 00 FE FF FF FF FF FF 00 00 FF FF 78 56 34 12");

    ObjectArchive in(ar.Bytes());
    std::uint32_t c[4] = {};
    ASSERT_TRUE(in.GetCount(c[0]) && in.GetCount(c[1]) && in.GetCount(c[2]) && in.GetCount(c[3]));
    EXPECT_EQ(c[0], 0u);
    EXPECT_EQ(c[1], 0xFFFEu);
    EXPECT_EQ(c[2], 0xFFFFu);
    EXPECT_EQ(c[3], 0x12345678u);
}

TEST(ArchiveEncodingTest, ListCountsBeyondTheRemainingBytesAreRefused) {
    // Three entries need at least six bytes; only four follow.
    const std::string inBytes = Bytes({0x03, 0x00, 0, 0, 0, 0});
    ObjectArchive in(inBytes);
    std::uint32_t n = 99;
    EXPECT_FALSE(in.GetListCount(n));
    EXPECT_EQ(n, 99u);
    EXPECT_TRUE(in.Failed());

    const std::string hugeBytes = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
    ObjectArchive huge(hugeBytes);
    EXPECT_FALSE(huge.GetListCount(n));

    const std::string fitsBytes = Bytes({0x02, 0x00, 0, 0, 0, 0});
    ObjectArchive fits(fitsBytes);
    ASSERT_TRUE(fits.GetListCount(n));
    EXPECT_EQ(n, 2u);
}

TEST(ArchiveEncodingTest, TextsAreWrittenInTheWideForm) {
    ObjectArchive ar;
    ar.PutText("");
    ar.PutText("COM1");
    EXPECT_EQ(Hex(ar.Bytes()), "FF FE FF 00 FF FE FF 04 43 00 4F 00 4D 00 31 00");
}

TEST(ArchiveEncodingTest, TextLengthPrefixesChangeAt255AndAt0xFFFE) {
    struct Case {
        std::size_t units;
        std::string prefix;
    } cases[] = {
        {254, "FF FE FF FE"},
        {255, "FF FE FF FF FF 00"},
        {0xFFFD, "FF FE FF FF FD FF"},
        {0xFFFE, "FF FE FF FF FF FF FE FF 00 00"},
        {0x10000, "FF FE FF FF FF FF 00 00 01 00"},
    };
    for (const Case& c : cases) {
        const std::string text(c.units, 'x');
        ObjectArchive ar;
        ar.PutText(text);
        const std::size_t prefixBytes = (c.prefix.size() + 1) / 3;
        ASSERT_EQ(ar.Bytes().size(), prefixBytes + 2 * c.units) << c.units;
        EXPECT_EQ(Hex(ar.Bytes().substr(0, prefixBytes)), c.prefix) << c.units;
        EXPECT_EQ(Hex(ar.Bytes().substr(prefixBytes, 2)), "78 00");

        ObjectArchive in(ar.Bytes());
        std::string back;
        ASSERT_TRUE(in.GetText(back)) << c.units;
        EXPECT_EQ(back, text);
        EXPECT_EQ(in.Remaining(), 0u);
    }
}

TEST(ArchiveEncodingTest, NonAsciiTextsTravelAsUtf16) {
    const std::string text =
        "F\xC3\xBCllstand \xE6\xB0\xB4 \xF0\x9F\x98\x80";  // ü, a CJK sign, an emoji
    ObjectArchive ar;
    ar.PutText(text);
    // 13 characters, the emoji as a surrogate pair: 14 code units.
    EXPECT_EQ(Hex(ar.Bytes().substr(0, 8)), "FF FE FF 0E 46 00 FC 00");
    EXPECT_EQ(Hex(ar.Bytes().substr(ar.Bytes().size() - 4)), "3D D8 00 DE");
    ObjectArchive in(ar.Bytes());
    std::string back;
    ASSERT_TRUE(in.GetText(back));
    EXPECT_EQ(back, text);
}

TEST(ArchiveEncodingTest, EightBitTextsAreReadAsLatin1) {
    // Short form, 16-bit form and 32-bit form of the 8-bit text.
    const std::string inBytes = Bytes({0x03, 'F', 0xFC, 'r',                  //
                                       0xFF, 0x02, 0x00, 'a', 'b',            //
                                       0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 'z',  //
                                       0x00});
    ObjectArchive in(inBytes);
    std::string a, b, c, d;
    ASSERT_TRUE(in.GetText(a) && in.GetText(b) && in.GetText(c) && in.GetText(d));
    EXPECT_EQ(a, "F\xC3\xBCr");
    EXPECT_EQ(b, "ab");
    EXPECT_EQ(c, "z");
    EXPECT_EQ(d, "");
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(ArchiveEncodingTest, WideTextsWithLongerPrefixesThanNeededAreRead) {
    // A writer may use the 16-bit or 32-bit length form for short texts too.
    const std::string inBytes = Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x01, 0x00, 'A',  0,  //
                                       0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 'B', 0});
    ObjectArchive in(inBytes);
    std::string a, b;
    ASSERT_TRUE(in.GetText(a) && in.GetText(b));
    EXPECT_EQ(a, "A");
    EXPECT_EQ(b, "B");
}

TEST(ArchiveEncodingTest, HostileTextLengthsFailWithoutAllocating) {
    const std::string cases[] = {
        // 64-bit length mark, wide and 8-bit.
        Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
               1,    0,    0,    0,    0,    0,    0,    0,    'a',  0}),
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 'a'}),
        // Lengths far beyond the bytes that follow.
        Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0}),
        Bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x40, 'a'}),
        // One wide unit missing its second byte.
        Bytes({0xFF, 0xFE, 0xFF, 0x01, 'a'}),
        // Ends inside the prefix.
        Bytes({0xFF, 0xFE}),
        Bytes({0xFF, 0xFE, 0xFF}),
        Bytes({0x05, 'a', 'b'}),
    };
    for (const std::string& bytes : cases) {
        ObjectArchive in(bytes);
        std::string text = "untouched";
        EXPECT_FALSE(in.GetText(text)) << Hex(bytes);
        EXPECT_EQ(text, "untouched");
        EXPECT_TRUE(in.Failed());
    }
}

TEST(ArchiveEncodingTest, AFailedReaderStaysFailed) {
    const std::string inBytes = Bytes({0x01});
    ObjectArchive in(inBytes);
    std::uint16_t w = 0;
    std::uint8_t b = 0;
    EXPECT_FALSE(in.GetU16(w));
    // The byte is still there, but nothing is read after a failure.
    EXPECT_FALSE(in.GetU8(b));
    EXPECT_TRUE(in.Failed());
}

}  // namespace
}  // namespace velk
