// Event filters: select clauses, where clause operators and the results of invalid filters.
#include "opcua/alarms/event_filter.h"

#include <gtest/gtest.h>

namespace velk::ua {
namespace {

SimpleAttributeOperand Attr(std::uint32_t type, std::string path) {
    SimpleAttributeOperand a;
    a.typeDefinitionId = NodeId::Numeric(0, type);
    std::size_t start = 0;
    while (!path.empty()) {
        const std::size_t slash = path.find('/', start);
        a.browsePath.push_back({0, path.substr(start, slash - start)});
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return a;
}
ExtensionObject Op(const SimpleAttributeOperand& a) { return ToExtensionObject(a); }
ExtensionObject Lit(Variant v) { return ToExtensionObject(LiteralOperand{std::move(v)}); }
ExtensionObject El(std::uint32_t i) { return ToExtensionObject(ElementOperand{i}); }
ExtensionObject Sev() { return Op(Attr(ids::kBaseEventType, "Severity")); }
ContentFilterElement E(FilterOperator op, std::vector<ExtensionObject> operands) {
    return {op, std::move(operands)};
}

UaEvent Alarm(std::uint16_t severity, bool active) {
    ConditionSnapshot c;
    c.cookie = 7;
    c.kind = ConditionKind::kLimit;
    c.priority = severity;
    c.active = active;
    c.acked = false;
    c.limitStateBit = 4;
    c.sourceName = "Tank";
    EventIdSource ids(1);
    return BuildConditionEvent(c, 2, ids.Next(), 0);
}

// The filter as a client sends it: encoded, then decoded through the schema tables.
StatusCode Check(const EventFilter& filter, CheckedEventFilter& checked,
                 EventFilterResult& result) {
    return CheckEventFilter(ToExtensionObject(filter), checked, result);
}

EventFilter WithWhere(std::vector<ContentFilterElement> where) {
    EventFilter f;
    f.selectClauses = {Attr(ids::kBaseEventType, "Severity"),
                       Attr(ids::kExclusiveLimitAlarmType, "LimitState/CurrentState/Id"),
                       Attr(ids::kRefreshStartEventType, "Message")};
    f.whereClause.elements = std::move(where);
    return f;
}

TEST(EventFilter, WhereOnSeverityAndSelectByType) {
    CheckedEventFilter checked;
    EventFilterResult result;
    ASSERT_EQ(Check(WithWhere({E(FilterOperator::kGreaterThanOrEqual,
                                 {Sev(), Lit(Variant::Scalar(std::uint16_t{500}))})}),
                    checked, result),
              kGood);
    EXPECT_TRUE(checked.Matches(Alarm(700, true)));
    EXPECT_TRUE(checked.Matches(Alarm(500, true)));
    EXPECT_FALSE(checked.Matches(Alarm(499, true)));
    const auto values = checked.Select(Alarm(700, true));
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0], Variant::Scalar(std::uint16_t{700}));
    EXPECT_EQ(values[1], Variant::Scalar(NodeId::Numeric(0, ids::kLimitStateHigh)));
    // A field of a type the event is not of is null.
    EXPECT_TRUE(values[2].IsNull());
}

TEST(EventFilter, Operators) {
    const Variant i500 = Variant::Scalar(std::int32_t{500});
    const Variant d700 = Variant::Scalar(700.0);
    const auto active = Op(Attr(ids::kAlarmConditionType, "ActiveState/Id"));
    const auto truth = Lit(Variant::Scalar(true));
    struct Case {
        const char* name;
        std::vector<ContentFilterElement> where;
        bool at700, at300;
    };
    const Case cases[] = {
        {"Equals across numeric types",
         {E(FilterOperator::kEquals, {Sev(), Lit(d700)})},
         true,
         false},
        {"LessThanOrEqual", {E(FilterOperator::kLessThanOrEqual, {Sev(), Lit(i500)})}, false, true},
        {"GreaterThanOrEqual",
         {E(FilterOperator::kGreaterThanOrEqual, {Sev(), Lit(i500)})},
         true,
         false},
        {"InList",
         {E(FilterOperator::kInList,
            {Sev(), Lit(Variant::Scalar(std::uint16_t{1})), Lit(Variant::Scalar(300.0))})},
         false,
         true},
        {"OfType subtype",
         {E(FilterOperator::kOfType,
            {Lit(Variant::Scalar(NodeId::Numeric(0, ids::kLimitAlarmType)))})},
         true,
         true},
        {"OfType other",
         {E(FilterOperator::kOfType,
            {Lit(Variant::Scalar(NodeId::Numeric(0, ids::kOffNormalAlarmType)))})},
         false,
         false},
        {"Not",
         {E(FilterOperator::kNot, {El(1)}),
          E(FilterOperator::kLessThanOrEqual, {Sev(), Lit(i500)})},
         true,
         false},
        {"And",
         {E(FilterOperator::kAnd, {El(1), El(2)}),
          E(FilterOperator::kGreaterThanOrEqual, {Sev(), Lit(i500)}),
          E(FilterOperator::kEquals, {active, truth})},
         true,
         false},
        {"Or",
         {E(FilterOperator::kOr, {El(1), El(2)}),
          E(FilterOperator::kGreaterThanOrEqual, {Sev(), Lit(Variant::Scalar(900.0))}),
          E(FilterOperator::kLessThanOrEqual, {Sev(), Lit(i500)})},
         false,
         true},
    };
    for (const Case& c : cases) {
        CheckedEventFilter checked;
        EventFilterResult result;
        ASSERT_EQ(Check(WithWhere(c.where), checked, result), kGood) << c.name;
        EXPECT_EQ(checked.Matches(Alarm(700, true)), c.at700) << c.name;
        EXPECT_EQ(checked.Matches(Alarm(300, false)), c.at300) << c.name;
    }
}

TEST(EventFilter, InvalidFiltersReportEachElement) {
    EventFilter f;
    f.selectClauses = {Attr(ids::kBaseEventType, "Severity"),              // good
                       Attr(ids::kBaseEventType, "LimitState"),            // not of that type
                       Attr(4242, "Severity"),                             // no event type
                       Attr(ids::kExclusiveLimitAlarmType, "HighLimit")};  // good
    f.whereClause.elements = {
        E(FilterOperator::kAnd, {El(1), El(0)}),  // refers to itself
        E(FilterOperator::kEquals, {Sev()}),      // one operand
        E(FilterOperator::kLike, {Sev(), Lit(Variant::Scalar(std::string("x")))}),
        E(static_cast<FilterOperator>(99), {}),
        E(FilterOperator::kOfType, {Lit(Variant::Scalar(std::uint16_t{3}))}),
        E(FilterOperator::kEquals, {Sev(), Op(Attr(4242, "Severity"))}),
    };
    CheckedEventFilter checked;
    EventFilterResult result;
    ASSERT_EQ(Check(f, checked, result), kBadEventFilterInvalid);
    EXPECT_EQ(
        result.selectClauseResults,
        (std::vector<StatusCode>{kGood, kBadNodeIdUnknown, kBadTypeDefinitionInvalid, kGood}));
    const auto& elements = result.whereClauseResult.elementResults;
    ASSERT_EQ(elements.size(), 6u);
    EXPECT_EQ(elements[0].statusCode, kBadFilterOperandInvalid);
    EXPECT_EQ(elements[0].operandStatusCodes,
              (std::vector<StatusCode>{kGood, kBadFilterOperandInvalid}));
    EXPECT_EQ(elements[1].statusCode, kBadFilterOperandCountMismatch);
    EXPECT_EQ(elements[2].statusCode, kBadFilterOperatorUnsupported);
    EXPECT_EQ(elements[3].statusCode, kBadFilterOperatorInvalid);
    EXPECT_EQ(elements[4].statusCode, kBadFilterOperandInvalid);
    EXPECT_EQ(elements[5].operandStatusCodes[1], kBadTypeDefinitionInvalid);

    // The results travel through their schema tables.
    const ExtensionObject encoded = ToExtensionObject(result);
    EventFilterResult decoded;
    BinaryReader outer{std::span<const std::uint8_t>{}};
    ASSERT_EQ(FromExtensionObject(encoded, decoded, outer), kGood);
    EXPECT_EQ(decoded.whereClauseResult.elementResults[1].statusCode,
              kBadFilterOperandCountMismatch);
}

TEST(EventFilter, NoSelectClauseOrUndecodableFilterIsInvalid) {
    CheckedEventFilter checked;
    EventFilterResult result;
    EXPECT_EQ(Check(EventFilter{}, checked, result), kBadEventFilterInvalid);
    ExtensionObject truncated = ToExtensionObject(WithWhere({}));
    truncated.body.pop_back();
    EXPECT_EQ(CheckEventFilter(truncated, checked, result), kBadEventFilterInvalid);
}

}  // namespace
}  // namespace velk::ua
