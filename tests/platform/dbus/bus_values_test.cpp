// Signatures, values and the result-code messages of the bus host.
#include <gtest/gtest.h>

#include "opc/opc_result.h"
#include "platform/dbus/bus_errors.h"
#include "platform/dbus/bus_signature.h"
#include "platform/dbus/bus_value.h"

namespace velk {
namespace {

TEST(BusSignature, SplitsIntoCompleteTypes) {
    EXPECT_EQ(SplitSignature("ias(ii)a{sv}v"),
              (std::vector<std::string>{"i", "as", "(ii)", "a{sv}", "v"}));
    EXPECT_EQ(SplitSignature(""), std::vector<std::string>{});
    EXPECT_EQ(SplitSignature("aa(sa{ub})"), std::vector<std::string>{"aa(sa{ub})"});
}

TEST(BusSignature, RefusesInvalidSignatures) {
    for (const char* bad : {"a", "(", "(i", "()", "{sv}", "a{vs}", "a{s}", "a{sii}", "z", "i)"}) {
        EXPECT_FALSE(SplitSignature(bad).has_value()) << bad;
    }
}

TEST(BusValue, ContainersKnowTheirSignatures) {
    const BusValue entry =
        BusValue::DictEntry(BusValue::String("k"), BusValue::Variant(BusValue::UInt32(7)));
    const BusValue dict = BusValue::Array("{sv}", {entry});
    EXPECT_EQ(dict.TypeSignature(), "a{sv}");
    EXPECT_TRUE(dict.IsWellFormed());
    const BusValue record =
        BusValue::Struct({BusValue::Int32(1), BusValue::StringArray({"a", "b"})});
    EXPECT_EQ(record.TypeSignature(), "(ias)");
    EXPECT_TRUE(record.IsWellFormed());
    EXPECT_EQ(SignatureOf({record, dict, BusValue::ObjectPath("/x")}), "(ias)a{sv}o");
    EXPECT_EQ(*dict.Children()[0].Children()[1].Children()[0].Get<std::uint32_t>(), 7u);
    EXPECT_EQ(BusValue::Int32(5).Get<std::uint32_t>(), nullptr);
}

TEST(BusValue, MixedArraysAndStrayEntriesAreMalformed) {
    EXPECT_FALSE(BusValue::Array("i", {BusValue::Int32(1), BusValue::String("x")}).IsWellFormed());
    EXPECT_FALSE(BusValue::Array("i(", {}).IsWellFormed());
    EXPECT_FALSE(BusValue::Variant(BusValue::DictEntry(BusValue::String("k"), BusValue::Int32(1)))
                     .IsWellFormed());
    EXPECT_FALSE(BusValue::DictEntry(BusValue::Struct({BusValue::Int32(1)}), BusValue::Int32(1))
                     .IsWellFormed());
    EXPECT_FALSE(BusValue::Struct({}).IsWellFormed());
}

TEST(BusErrors, CodesAreWrittenAndReadAsEightHexDigits) {
    EXPECT_EQ(FormatHresultMessage(E_NOINTERFACE), "0x80004002");
    EXPECT_EQ(FormatHresultMessage(S_FALSE, "why"), "0x00000001 why");
    EXPECT_EQ(ParseHresultMessage("0xC0040007 unknown item"), OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(ParseHresultMessage("0x80004002"), E_NOINTERFACE);
    EXPECT_EQ(ParseHresultMessage("0x8000400"), std::nullopt);
    EXPECT_EQ(ParseHresultMessage("0x8000400G"), std::nullopt);
    EXPECT_EQ(ParseHresultMessage("0x800040021"), std::nullopt);
    EXPECT_EQ(ParseHresultMessage("no code"), std::nullopt);
}

TEST(BusErrors, BusErrorsMapToResultCodes) {
    EXPECT_EQ(HresultFromBusError(kHresultErrorName, "0xC0040006"), OPC_E_BADRIGHTS);
    EXPECT_EQ(HresultFromBusError(kHresultErrorName, "garbage"), E_FAIL);
    EXPECT_EQ(HresultFromBusError("org.freedesktop.DBus.Error.NoReply", "Method call timed out"),
              RPC_E_TIMEOUT);
    EXPECT_EQ(
        HresultFromBusError("org.freedesktop.DBus.Error.NoReply",
                            "Message recipient disconnected from message bus without replying"),
        RPC_E_DISCONNECTED);
    EXPECT_EQ(HresultFromBusError("org.freedesktop.DBus.Error.ServiceUnknown", ""),
              RPC_E_DISCONNECTED);
    EXPECT_EQ(HresultFromBusError("org.freedesktop.DBus.Error.UnknownMethod", ""), E_NOINTERFACE);
    EXPECT_EQ(HresultFromBusError("org.freedesktop.DBus.Error.AccessDenied", ""), E_ACCESSDENIED);
    EXPECT_EQ(HresultFromBusError("com.example.Other", ""), E_FAIL);
}

}  // namespace
}  // namespace velk
