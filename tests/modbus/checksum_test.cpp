// CRC-16, LRC, hexadecimal pairs and the MBAP header against known values and an
// independent bitwise computation.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "modbus/crc16.h"
#include "modbus/hex_pair.h"
#include "modbus/lrc.h"
#include "modbus/mbap_header.h"

namespace velk {
namespace {

std::uint16_t BitwiseCrc(const std::vector<std::uint8_t>& bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

TEST(Crc16Test, KnownFramesGiveTheirCheckBytes) {
    const std::vector<std::uint8_t> readOneRegister = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    const std::uint16_t crc = Crc16(readOneRegister);
    EXPECT_EQ(crc & 0xFF, 0x84);  // sent first
    EXPECT_EQ(crc >> 8, 0x0A);

    const std::string check = "123456789";
    EXPECT_EQ(Crc16({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0x4B37);
    EXPECT_EQ(Crc16({}), 0xFFFF);
}

TEST(Crc16Test, TablesAgreeWithBitwiseComputation) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> bytes(random() % 300);
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        ASSERT_EQ(Crc16(bytes), BitwiseCrc(bytes)) << "size " << bytes.size();
    }
}

TEST(LrcTest, IsTwosComplementOfTheByteSum) {
    EXPECT_EQ(Lrc(std::vector<std::uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), 0xFB);
    EXPECT_EQ(Lrc({}), 0x00);
    // The sum wraps modulo 256: 0x80 + 0x80 = 0 gives 0.
    EXPECT_EQ(Lrc(std::vector<std::uint8_t>{0x80, 0x80}), 0x00);
    EXPECT_EQ(Lrc(std::vector<std::uint8_t>{0xFF, 0x02}), 0xFF);
}

TEST(HexPairTest, DecodesUpperCaseDigitsOnly) {
    EXPECT_EQ(DecodeHexPair('F', 'B'), 0xFB);
    EXPECT_EQ(DecodeHexPair('0', '9'), 0x09);
    EXPECT_EQ(HexDigit(0xA), 'A');
    EXPECT_EQ(HexDigit(0x1F), 'F');  // only the low nibble counts
    EXPECT_TRUE(IsUpperHexDigit('C'));
    EXPECT_FALSE(IsUpperHexDigit('c'));
    EXPECT_FALSE(IsUpperHexDigit('G'));
    // A lower-case digit decodes to a wrong nibble.
    EXPECT_NE(DecodeHexDigit('b'), 11);
}

TEST(MbapHeaderTest, WritesAndReadsMostSignificantFirst) {
    std::vector<std::uint8_t> frame(7, 0xAA);
    WriteMbapPrefix(frame, 0x1234, 0x0106);
    frame[6] = 9;
    EXPECT_EQ(frame, (std::vector<std::uint8_t>{0x12, 0x34, 0x00, 0x00, 0x01, 0x06, 0x09}));
    const auto header = ReadMbapHeader(frame);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->transactionId, 0x1234);
    EXPECT_EQ(header->protocolId, 0);
    EXPECT_EQ(header->length, 0x0106);
    EXPECT_EQ(header->unitId, 9);
    EXPECT_FALSE(ReadMbapHeader(std::vector<std::uint8_t>(6, 0)));
}

}  // namespace
}  // namespace velk
