// The client's bus side without a bus: values to and from their "(qv)" form, and failed
// calls turned into what the user reads.
#include <gtest/gtest.h>

#include "opc/opc_result.h"
#include "tools/client/bus/bus_call_error.h"
#include "tools/client/bus/bus_value_codec.h"
#include "tools/client/lib/value_text.h"

namespace velk::client {
namespace {

BusVariant Bus(VarType type, sdbus::Variant value) { return BusVariant{type, std::move(value)}; }

TEST(ClientBusValues, EveryWritableTypeGoesAsItsNaturalBusType) {
    struct Case {
        ClientValue value;
        std::string busType;
    };
    const Case cases[] = {
        {ClientValue::Bool(true), "b"},
        {ClientValue::Signed(VT_I2, -32768), "n"},
        {ClientValue::Signed(VT_I4, -2147483647 - 1), "i"},
        {ClientValue::Unsigned(VT_UI2, 65535), "q"},
        {ClientValue::Unsigned(VT_UI4, 4294967295u), "u"},
        {ClientValue::Real(VT_R4, 0.5), "d"},
        {ClientValue::Real(VT_R8, -1e300), "d"},
        {ClientValue::Text("Pump \"A\""), "s"},
    };
    for (const Case& c : cases) {
        const BusVariant bus = ToBus(c.value);
        EXPECT_EQ(bus.get<0>(), c.value.Type()) << TypeName(c.value.Type());
        EXPECT_EQ(bus.get<1>().peekValueType(), c.busType) << TypeName(c.value.Type());
        EXPECT_EQ(FromBus(bus), c.value) << TypeName(c.value.Type());
    }
    EXPECT_EQ(ToBus(ClientValue::Signed(VT_I2, -5)).get<1>().get<std::int16_t>(), -5);
    EXPECT_EQ(ToBus(ClientValue::Unsigned(VT_UI4, 4000000000u)).get<1>().get<std::uint32_t>(),
              4000000000u);
}

TEST(ClientBusValues, ReceivedValuesKeepTheirCode) {
    EXPECT_EQ(FromBus(Bus(VT_DATE, sdbus::Variant(46365.5))), ClientValue::Date(46365.5));
    EXPECT_EQ(FromBus(Bus(VT_CY, sdbus::Variant(std::int64_t{-12345}))),
              ClientValue::Signed(VT_CY, -12345));
    EXPECT_EQ(
        FromBus(Bus(static_cast<VarType>(VT_ARRAY | VT_R8),
                    sdbus::Variant(std::vector<double>{0.0, 16.0}))),
        ClientValue::Array(VT_R8, {ClientValue::Real(VT_R8, 0.0), ClientValue::Real(VT_R8, 16.0)}));
    // VT_EMPTY carries an ignored "i" 0.
    EXPECT_TRUE(FromBus(Bus(VT_EMPTY, sdbus::Variant(std::int32_t{0}))).IsEmpty());
    // A bus type that does not fit the code is read for what it holds.
    EXPECT_EQ(FromBus(Bus(VT_I2, sdbus::Variant(std::int32_t{70000}))),
              ClientValue::Signed(VT_I2, 70000));
    // A bus type that no VARIANT has gives an empty value rather than a wrong one.
    EXPECT_TRUE(FromBus(Bus(VT_BSTR, sdbus::Variant(sdbus::ObjectPath("/x")))).IsEmpty());
}

TEST(ClientBusValues, TypesWithoutABusFormGoAsEmpty) {
    const BusVariant bus = ToBus(ClientValue::Array(VT_R8, {}));
    EXPECT_EQ(bus.get<0>(), VT_EMPTY);
    EXPECT_EQ(bus.get<1>().peekValueType(), "i");
}

TEST(ClientBusErrors, ServerResultsAreReadFromTheMessage) {
    const BusCallError error("VELK.ModbusOPCServer", "IOPCSyncIO.Write", "VELK.Error.HRESULT",
                             "0xC0040006 The item's access rights do not allow the operation.");
    ASSERT_TRUE(error.Code());
    EXPECT_EQ(static_cast<std::uint32_t>(*error.Code()), 0xC0040006u);
    EXPECT_EQ(error.Reason(),
              "OPC_E_BADRIGHTS (0xC0040006): the item's access rights do not allow the operation");
    EXPECT_EQ(error.ServerDescription(), "The item's access rights do not allow the operation.");
    EXPECT_FALSE(error.ServerMissing());
    EXPECT_EQ(error.Method(), "IOPCSyncIO.Write");
    EXPECT_EQ(error.Destination(), "VELK.ModbusOPCServer");
}

TEST(ClientBusErrors, BusErrorsKeepTheirNames) {
    const BusCallError unknown("VELK.ModbusOPCServer", "ClassFactory.CreateInstance",
                               "org.freedesktop.DBus.Error.ServiceUnknown",
                               "The name is not activatable");
    EXPECT_TRUE(unknown.ServerMissing());
    EXPECT_FALSE(unknown.Code());
    EXPECT_EQ(unknown.Reason(),
              "org.freedesktop.DBus.Error.ServiceUnknown: The name is not activatable");

    const BusCallError garbled("VELK.ModbusOPCServer", "IOPCServer.AddGroup", "VELK.Error.HRESULT",
                               "broken");
    EXPECT_FALSE(garbled.Code());
    EXPECT_EQ(garbled.Reason(), "the server's error \"broken\"");

    const BusCallError args("VELK.ModbusOPCServer", "IOPCSyncIO.Read",
                            "org.freedesktop.DBus.Error.InvalidArgs", "");
    EXPECT_FALSE(args.ServerMissing());
    EXPECT_EQ(args.Reason(), "org.freedesktop.DBus.Error.InvalidArgs");
}

TEST(ClientBusErrors, GuardedTurnsLibraryErrorsIntoCallErrors) {
    try {
        Guarded("VELK.ModbusOPCServer", "IOPCServer.GetStatus",
                [] { throw sdbus::Error("VELK.Error.HRESULT", "0x80004005 Unspecified error"); });
        FAIL() << "no error";
    } catch (const BusCallError& error) {
        EXPECT_EQ(error.Method(), "IOPCServer.GetStatus");
        ASSERT_TRUE(error.Code());
        EXPECT_EQ(static_cast<std::uint32_t>(*error.Code()), 0x80004005u);
    }
    EXPECT_EQ(Guarded("x", "y", [] { return 42; }), 42);
}

}  // namespace
}  // namespace velk::client
