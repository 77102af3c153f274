#include "modbus/ip_address_text.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>

namespace velk {
namespace {

std::array<std::uint8_t, 4> Octets(std::uint32_t address) {
    std::array<std::uint8_t, 4> octets{};
    std::memcpy(octets.data(), &address, sizeof address);
    return octets;
}

using Quad = std::array<std::uint8_t, 4>;

TEST(IpAddressTextTest, DottedQuadsGiveTheirOctetsInNetworkOrder) {
    EXPECT_EQ(Octets(DottedToAddress("192.168.1.10")), (Quad{192, 168, 1, 10}));
    EXPECT_EQ(DottedToAddress("0.0.0.0"), 0u);
    EXPECT_EQ(DottedToAddress("255.255.255.255"), kInvalidAddress);
    EXPECT_EQ(DottedToAddress("192.168.1.10"), AddressFromOctets(192, 168, 1, 10));
}

TEST(IpAddressTextTest, ShortFormsAndOtherBasesFollowTheClassicRules) {
    EXPECT_EQ(Octets(DottedToAddress("127.1")), (Quad{127, 0, 0, 1}));
    EXPECT_EQ(Octets(DottedToAddress("10.258")), (Quad{10, 0, 1, 2}));
    EXPECT_EQ(Octets(DottedToAddress("1.2.65535")), (Quad{1, 2, 255, 255}));
    EXPECT_EQ(Octets(DottedToAddress("3232235777")), (Quad{192, 168, 1, 1}));
    EXPECT_EQ(Octets(DottedToAddress("0x7f.1")), (Quad{127, 0, 0, 1}));
    EXPECT_EQ(Octets(DottedToAddress("0XC0.0250.1.1")), (Quad{192, 168, 1, 1}));
    EXPECT_EQ(Octets(DottedToAddress("010.0.0.1")), (Quad{8, 0, 0, 1}));
    EXPECT_EQ(Octets(DottedToAddress("1.2.3.4 and more")), (Quad{1, 2, 3, 4}));
    EXPECT_EQ(Octets(DottedToAddress("1.2.3.4\t")), (Quad{1, 2, 3, 4}));
}

TEST(IpAddressTextTest, EmptyOrMalformedTextsGiveTheInvalidAddress) {
    for (const char* text :
         {"",          " ",         " 1.2.3.4",   "1.2.3.4.5", "256.0.0.1",
          "1.2.3.256", "1.2.65536", "4294967296", "1..2",      ".1.2.3",
          "1.2.3.",    "a.b.c.d",   "0x",         "0x.1",      "08.1.1.1",
          "1.2.3.4x",  "-1.2.3.4",  "+1.2.3.4",   "1.2.3.4,",  "99999999999999999999"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(DottedToAddress(text), kInvalidAddress);
    }
}

TEST(IpAddressTextTest, DottedTextOfAnAddressReadsBack) {
    EXPECT_EQ(AddressToDotted(AddressFromOctets(10, 0, 255, 7)), "10.0.255.7");
    EXPECT_EQ(AddressToDotted(0), "0.0.0.0");
    std::mt19937 random(7);
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t address = random();
        EXPECT_EQ(DottedToAddress(AddressToDotted(address)), address);
    }
}

// The C library's inet_addr follows the same classic rules, so it serves as the oracle
// for texts built from the characters that matter.
TEST(IpAddressTextTest, AgreesWithTheCLibraryOnArbitraryTexts) {
    const std::string alphabet = "0123456789..xXaF \t";
    std::mt19937 random(20261209);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const std::size_t length = random() % 17;
        for (std::size_t c = 0; c < length; ++c) text += alphabet[random() % alphabet.size()];
        ASSERT_EQ(DottedToAddress(text), ::inet_addr(text.c_str())) << '"' << text << '"';
    }
    for (const char* text : {"1.2.3.4", "0x7f.1", "010.0.0.1", "4294967295", "0xffffffff"}) {
        EXPECT_EQ(DottedToAddress(text), ::inet_addr(text)) << text;
    }
}

}  // namespace
}  // namespace velk
