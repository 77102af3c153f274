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

TEST(IpAddressTextTest, BlanksAroundTheAddressAreIgnored) {
    for (const char* text :
         {"192.168.1.10 ", " 192.168.1.10", "\t192.168.1.10\r\n", "  192.168.1.10  "}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Octets(DottedToAddress(text)), (Quad{192, 168, 1, 10}));
    }
}

TEST(IpAddressTextTest, EmptyOrMalformedTextsGiveTheInvalidAddress) {
    // Short forms, other bases and trailing words, which the C library's inet_addr would
    // take, are refused too: a connection would refuse them.
    for (const char* text : {"",
                             " ",
                             "1.2.3.4.5",
                             "256.0.0.1",
                             "1.2.3.256",
                             "1.2.65536",
                             "4294967296",
                             "1..2",
                             ".1.2.3",
                             "1.2.3.",
                             "a.b.c.d",
                             "0x",
                             "0x7f.0.0.1",
                             "08.1.1.1",
                             "010.0.0.1",
                             "1.2.3.4x",
                             "-1.2.3.4",
                             "+1.2.3.4",
                             "1.2.3.4,",
                             "127.1",
                             "10.258",
                             "3232235777",
                             "1.2.3.4 and more",
                             "1. 2.3.4",
                             "1.2.3.0004",
                             "99999999999999999999"}) {
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

// The C library's inet_pton reads the strict dotted form, so it serves as the oracle for
// texts built from the characters that matter, once the blanks around them are gone.
TEST(IpAddressTextTest, AgreesWithTheCLibrarysStrictReadingOnArbitraryTexts) {
    const std::string alphabet = "0123456789..xXaF \t";
    std::mt19937 random(20261209);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const std::size_t length = random() % 17;
        for (std::size_t c = 0; c < length; ++c) text += alphabet[random() % alphabet.size()];
        const std::size_t first = text.find_first_not_of(" \t");
        const std::string trimmed =
            first == std::string::npos
                ? std::string()
                : text.substr(first, text.find_last_not_of(" \t") - first + 1);
        in_addr address{};
        const bool valid = ::inet_pton(AF_INET, trimmed.c_str(), &address) == 1;
        const std::uint32_t expected =
            valid && address.s_addr != kInvalidAddress ? address.s_addr : kInvalidAddress;
        ASSERT_EQ(DottedToAddress(text), expected) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace velk
