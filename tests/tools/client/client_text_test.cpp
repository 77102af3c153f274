// The client's texts: result codes, qualities, time stamps, values and the command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>

#include "opc/opc_result.h"
#include "tools/client/lib/invocation.h"
#include "tools/client/lib/quality_text.h"
#include "tools/client/lib/result_codes.h"
#include "tools/client/lib/time_text.h"
#include "tools/client/lib/value_text.h"

namespace velk::client {
namespace {

TEST(ClientResultCodes, KnownCodesShowNameHexAndMeaning) {
    EXPECT_EQ(DescribeResult(static_cast<ResultCode>(0xC0040007u)),
              "OPC_E_UNKNOWNITEMID (0xC0040007): unknown item ID");
    EXPECT_EQ(ResultName(static_cast<ResultCode>(0xC0040006u)), "OPC_E_BADRIGHTS");
    EXPECT_EQ(ResultName(static_cast<ResultCode>(0x80070057u)), "E_INVALIDARG");
    EXPECT_EQ(ResultName(1), "S_FALSE");
    // The DA name wins for the code that DA and AE share.
    EXPECT_EQ(ResultName(static_cast<ResultCode>(0xC0040203u)), "OPC_E_INVALID_PID");
}

TEST(ClientResultCodes, UnknownCodesAreShownAsEightHexDigits) {
    EXPECT_EQ(DescribeResult(static_cast<ResultCode>(0x8123ABCDu)), "0x8123ABCD");
    EXPECT_EQ(ResultHex(5), "0x00000005");
    EXPECT_TRUE(ResultName(static_cast<ResultCode>(0x8123ABCDu)).empty());
}

TEST(ClientResultCodes, ServerMessagesGiveTheirCodeAndDescription) {
    auto parsed = ParseResultMessage("0xC0040007 The item ID is not defined");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(static_cast<std::uint32_t>(parsed->code), 0xC0040007u);
    EXPECT_EQ(parsed->description, "The item ID is not defined");
    parsed = ParseResultMessage("0x80004005");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(static_cast<std::uint32_t>(parsed->code), 0x80004005u);
    EXPECT_TRUE(parsed->description.empty());
    EXPECT_FALSE(ParseResultMessage("0x8000400"));        // seven digits
    EXPECT_FALSE(ParseResultMessage("0x8000400G text"));  // not hexadecimal
    EXPECT_FALSE(ParseResultMessage("0x80004005text"));   // no blank before the text
    EXPECT_FALSE(ParseResultMessage("Unknown method"));
}

TEST(ClientQuality, QualitiesOfTheServerReadAsWords) {
    EXPECT_EQ(QualityText(0x00C0), "good");
    EXPECT_EQ(QualityText(0x0018), "bad (comm failure)");
    EXPECT_EQ(QualityText(0x001C), "bad (out of service)");
    EXPECT_EQ(QualityText(0x0008), "bad (not connected)");
    EXPECT_EQ(QualityText(0x0000), "bad");
    EXPECT_EQ(QualityText(0x0040), "uncertain");
}

TEST(ClientQuality, SubStatusLimitsAndVendorBitsAreNotLost) {
    EXPECT_EQ(QualityText(0x00D8), "good (local override)");
    EXPECT_EQ(QualityText(0x0044), "uncertain (last usable value)");
    EXPECT_EQ(QualityText(0x00C2), "good, high limited");
    EXPECT_EQ(QualityText(0x0015), "bad (last known value), low limited");
    EXPECT_EQ(QualityText(0x00C3), "good, constant");
    EXPECT_EQ(QualityText(0x00C8), "good (sub-status 2)");
    EXPECT_EQ(QualityText(0x0080), "not applicable");
    EXPECT_EQ(QualityText(0x12C0), "good, vendor 0x12");
}

class ClientTimeText : public ::testing::Test {
  protected:
    void SetZone(const char* zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("TZ", saved_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    std::optional<std::string> saved_ =
        std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST_F(ClientTimeText, FileTimesCountFrom1601InHundredNanoseconds) {
    EXPECT_EQ(FileTimeText(116444736000000000ull, TimeZoneChoice::Utc), "1970-01-01 00:00:00.000");
    // 2026-12-09 15:30:00.123 UTC; the ticks below a millisecond do not round up.
    EXPECT_EQ(FileTimeText(134413038001239999ull, TimeZoneChoice::Utc), "2026-12-09 15:30:00.123");
    EXPECT_EQ(FileTimeOf(0, 0), 116444736000000000ull);
    EXPECT_EQ(FileTimeText(FileTimeOf(1765294200, 7), TimeZoneChoice::Utc),
              "2025-12-09 15:30:00.007");
    EXPECT_EQ(FileTimeText(0), "none");
}

TEST_F(ClientTimeText, LocalTimeFollowsTheZone) {
    SetZone("XYZ-2");  // two hours east of UTC, no daylight saving
    EXPECT_EQ(FileTimeText(134413038001230000ull), "2026-12-09 17:30:00.123");
    SetZone("UTC0");
    EXPECT_EQ(FileTimeText(134413038001230000ull), "2026-12-09 15:30:00.123");
}

TEST_F(ClientTimeText, AutomationDatesAreDaysSince1899) {
    EXPECT_EQ(AutomationDateText(0.0), "1899-12-30 00:00:00.000");
    EXPECT_EQ(AutomationDateText(46365.64583475695), "2026-12-09 15:30:00.123");
    EXPECT_EQ(AutomationDateText(2.5), "1900-01-01 12:00:00.000");
    EXPECT_EQ(AutomationDateText(-1.25), "1899-12-29 06:00:00.000");
    // A fraction that rounds to a whole day moves to the next midnight.
    EXPECT_EQ(AutomationDateText(1.9999999999), "1900-01-01 00:00:00.000");
    EXPECT_EQ(AutomationDateText(std::numeric_limits<double>::quiet_NaN()), "invalid date");
}

TEST(ClientValueText, ValuesPrintAsTheUserMeansThem) {
    EXPECT_EQ(ValueText(ClientValue::Bool(true)), "true");
    EXPECT_EQ(ValueText(ClientValue::Bool(false)), "false");
    EXPECT_EQ(ValueText(ClientValue::Signed(VT_I2, -32768)), "-32768");
    EXPECT_EQ(ValueText(ClientValue::Unsigned(VT_UI4, 4294967295u)), "4294967295");
    EXPECT_EQ(ValueText(ClientValue::Real(VT_R8, 0.1)), "0.1");
    EXPECT_EQ(ValueText(ClientValue::Real(VT_R8, 42.0)), "42");
    // A real of 32 bits prints as the float it is, not as its double widening.
    EXPECT_EQ(ValueText(ClientValue::Real(VT_R4, static_cast<float>(0.1))), "0.1");
    EXPECT_EQ(ValueText(ClientValue::Real(VT_R8, static_cast<float>(0.1))), "0.100000001490116");
    // The residue of scaling arithmetic does not show; 15 digits that matter do.
    EXPECT_EQ(ValueText(ClientValue::Real(VT_R8, 0.1 + 0.2)), "0.3");
    EXPECT_EQ(ValueText(ClientValue::Real(VT_R8, 7.000000000000001)), "7");
    EXPECT_EQ(ValueText(ClientValue::Real(VT_R8, 123456.789012345)), "123456.789012345");
    EXPECT_EQ(ValueText(ClientValue::Real(VT_R8, 1e-20)), "1e-20");
    EXPECT_EQ(ValueText(ClientValue::Text("say \"hi\"\\")), "\"say \\\"hi\\\"\\\\\"");
    EXPECT_EQ(ValueText(ClientValue::Text("")), "\"\"");
    EXPECT_EQ(ValueText(ClientValue::Text("a\tb")), "\"a\\x09b\"");
    EXPECT_EQ(ValueText(ClientValue::Empty()), "(empty)");
    EXPECT_EQ(ValueText(ClientValue::Array(
                  VT_R8, {ClientValue::Real(VT_R8, 0), ClientValue::Real(VT_R8, 16.5)})),
              "[0, 16.5]");
    EXPECT_EQ(ValueText(ClientValue::Date(2.5)), "1900-01-01 12:00:00.000");
    EXPECT_EQ(ValueText(ClientValue::Signed(VT_CY, -12345)), "-1.2345");
    EXPECT_EQ(ValueText(ClientValue::Signed(VT_CY, -5)), "-0.0005");
    EXPECT_EQ(ValueText(ClientValue::Signed(VT_ERROR, static_cast<std::int32_t>(0x80004005u))),
              "0x80004005");
}

TEST(ClientValueText, TypeNames) {
    EXPECT_EQ(TypeName(VT_R8), "VT_R8");
    EXPECT_EQ(TypeName(VT_BOOL), "VT_BOOL");
    EXPECT_EQ(TypeName(static_cast<VarType>(VT_ARRAY | VT_R8)), "VT_ARRAY | VT_R8");
    EXPECT_EQ(TypeName(0x0040), "VT_0x0040");
}

TEST(ClientValueParse, BooleansInTheUsualSpellings) {
    for (const char* yes : {"true", "TRUE", "1", "-1", "on", "Yes"}) {
        const ParsedValue parsed = ParseValue(yes, VT_BOOL);
        ASSERT_TRUE(parsed.ok) << yes;
        EXPECT_EQ(parsed.value, ClientValue::Bool(true)) << yes;
    }
    for (const char* no : {"false", "0", "OFF", "no"}) {
        const ParsedValue parsed = ParseValue(no, VT_BOOL);
        ASSERT_TRUE(parsed.ok) << no;
        EXPECT_EQ(parsed.value, ClientValue::Bool(false)) << no;
    }
    const ParsedValue bad = ParseValue("maybe", VT_BOOL);
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.problem.find("bad value \"maybe\" for VT_BOOL"), std::string::npos)
        << bad.problem;
}

TEST(ClientValueParse, WholeNumbersStayWithinTheirType) {
    EXPECT_EQ(ParseValue("-32768", VT_I2).value, ClientValue::Signed(VT_I2, -32768));
    EXPECT_EQ(ParseValue("32767", VT_I2).value, ClientValue::Signed(VT_I2, 32767));
    EXPECT_FALSE(ParseValue("32768", VT_I2).ok);
    EXPECT_FALSE(ParseValue("-32769", VT_I2).ok);
    EXPECT_EQ(ParseValue("0x7FFF", VT_I2).value, ClientValue::Signed(VT_I2, 32767));
    EXPECT_EQ(ParseValue("65535", VT_UI2).value, ClientValue::Unsigned(VT_UI2, 65535));
    EXPECT_FALSE(ParseValue("-1", VT_UI2).ok);
    EXPECT_FALSE(ParseValue("65536", VT_UI2).ok);
    EXPECT_EQ(ParseValue("-2147483648", VT_I4).value, ClientValue::Signed(VT_I4, -2147483648LL));
    EXPECT_FALSE(ParseValue("2147483648", VT_I4).ok);
    EXPECT_EQ(ParseValue("4294967295", VT_UI4).value, ClientValue::Unsigned(VT_UI4, 4294967295u));
    EXPECT_FALSE(ParseValue("99999999999999999999999", VT_UI4).ok);
    EXPECT_EQ(ParseValue("-9223372036854775808", VT_I8).value,
              ClientValue::Signed(VT_I8, std::numeric_limits<std::int64_t>::min()));
    EXPECT_EQ(ParseValue(" 12 ", VT_I4).value, ClientValue::Signed(VT_I4, 12));
    for (const char* bad : {"", "1.5", "12abc", "abc", "0x", "--1", "1e3"}) {
        const ParsedValue parsed = ParseValue(bad, VT_I4);
        EXPECT_FALSE(parsed.ok) << bad;
        EXPECT_NE(parsed.problem.find("for VT_I4"), std::string::npos) << parsed.problem;
    }
    EXPECT_NE(ParseValue("40000", VT_I2).problem.find("out of range -32768 to 32767"),
              std::string::npos);
}

TEST(ClientValueParse, RealsAreFiniteAndFitTheirWidth) {
    EXPECT_EQ(ParseValue("12.5", VT_R8).value, ClientValue::Real(VT_R8, 12.5));
    EXPECT_EQ(ParseValue("-1e-3", VT_R8).value, ClientValue::Real(VT_R8, -1e-3));
    EXPECT_EQ(ParseValue("+7", VT_R8).value, ClientValue::Real(VT_R8, 7.0));
    EXPECT_EQ(ParseValue("0.1", VT_R4).value, ClientValue::Real(VT_R4, static_cast<float>(0.1)));
    EXPECT_FALSE(ParseValue("1e39", VT_R4).ok);
    EXPECT_TRUE(ParseValue("1e39", VT_R8).ok);
    EXPECT_FALSE(ParseValue("1e400", VT_R8).ok);
    EXPECT_FALSE(ParseValue("nan", VT_R8).ok);
    EXPECT_FALSE(ParseValue("inf", VT_R8).ok);
    EXPECT_FALSE(ParseValue("1,5", VT_R8).ok);
    EXPECT_FALSE(ParseValue("", VT_R8).ok);
}

TEST(ClientValueParse, TextsStandAsTheyAreAndOtherTypesAreRefused) {
    EXPECT_EQ(ParseValue(" two words ", VT_BSTR).value, ClientValue::Text(" two words "));
    const ParsedValue date = ParseValue("2026-12-09", VT_DATE);
    EXPECT_FALSE(date.ok);
    EXPECT_NE(date.problem.find("cannot be written"), std::string::npos);
}

TEST(ClientInvocation, GlobalOptionsAnywhereBeforeTheEndMark) {
    Invocation invocation =
        ParseInvocation({"read", "--address", "unix:path=/tmp/b", "A.B", "--device"});
    EXPECT_EQ(invocation.command, "read");
    EXPECT_EQ(invocation.bus.kind, BusChoice::Kind::Address);
    EXPECT_EQ(invocation.bus.address, "unix:path=/tmp/b");
    EXPECT_EQ(invocation.arguments, (std::vector<std::string>{"A.B", "--device"}));
    EXPECT_TRUE(invocation.problem.empty());

    invocation = ParseInvocation({"--system", "status"});
    EXPECT_EQ(invocation.bus.kind, BusChoice::Kind::System);
    EXPECT_EQ(invocation.bus.Description(), "the system bus");

    invocation = ParseInvocation({"write", "--", "X.Y", "--system"});
    EXPECT_EQ(invocation.bus.kind, BusChoice::Kind::Session);
    EXPECT_EQ(invocation.arguments, (std::vector<std::string>{"X.Y", "--system"}));

    invocation = ParseInvocation({"--address=unix:path=/x", "-h"});
    EXPECT_TRUE(invocation.help);
    EXPECT_EQ(invocation.bus.Description(), "the bus at unix:path=/x");
    EXPECT_TRUE(invocation.command.empty());

    EXPECT_FALSE(ParseInvocation({"status", "--address"}).problem.empty());
    EXPECT_FALSE(ParseInvocation({"status", "--address="}).problem.empty());
}

TEST(ClientInvocation, CommandOptionsAndPositionals) {
    CommandArguments args({"--rate", "250", "A.X", "--flat", "B.Y", "--rate=500"});
    EXPECT_TRUE(args.TakeFlag("--flat"));
    EXPECT_FALSE(args.TakeFlag("--device"));
    EXPECT_EQ(args.TakeNumber("--rate", 1, 100000), 500u);  // the last one counts
    EXPECT_TRUE(args.Finish(1, 10));
    EXPECT_EQ(args.Positional(), (std::vector<std::string>{"A.X", "B.Y"}));

    CommandArguments repeated({"--area", "a*", "x", "--area=b"});
    EXPECT_EQ(repeated.TakeRepeatedOption("--area"), (std::vector<std::string>{"a*", "b"}));
    EXPECT_EQ(repeated.Positional(), std::vector<std::string>{"x"});
}

TEST(ClientInvocation, ProblemsNameTheirOption) {
    CommandArguments badNumber({"--rate", "fast"});
    EXPECT_FALSE(badNumber.TakeNumber("--rate", 1, 1000));
    EXPECT_FALSE(badNumber.Finish(0, 0));
    EXPECT_NE(badNumber.Problem().find("--rate needs a whole number from 1 to 1000, not \"fast\""),
              std::string::npos)
        << badNumber.Problem();

    CommandArguments outOfRange({"--rate=0"});
    EXPECT_FALSE(outOfRange.TakeNumber("--rate", 1, 1000));
    EXPECT_FALSE(outOfRange.Problem().empty());

    CommandArguments missing({"--rate"});
    EXPECT_FALSE(missing.TakeOption("--rate"));
    EXPECT_NE(missing.Problem().find("--rate needs a value"), std::string::npos);

    CommandArguments unknown({"A.B", "--bogus"});
    EXPECT_FALSE(unknown.Finish(1, 1));
    EXPECT_EQ(unknown.Problem(), "unknown option --bogus");

    CommandArguments negative({"A.B", "-5"});  // a value to write, not an option
    EXPECT_TRUE(negative.Finish(2, 2));

    CommandArguments tooMany({"a", "b"});
    EXPECT_FALSE(tooMany.Finish(1, 1));
    EXPECT_EQ(tooMany.Problem(), "too many arguments");
    CommandArguments tooFew({});
    EXPECT_FALSE(tooFew.Finish(1, 1));
    EXPECT_EQ(tooFew.Problem(), "too few arguments");
}

}  // namespace
}  // namespace velk::client
