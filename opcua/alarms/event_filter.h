#pragma once
// Event filters of event monitored items: the structures (each by its schema table), their
// check with a result per select clause and per where clause element, and the evaluation of
// a checked filter against one event (the where clause, then the selected fields).
#include <cstdint>
#include <string>
#include <vector>

#include "opcua/alarms/ua_alarm_ids.h"
#include "opcua/alarms/ua_event.h"
#include "opcua/structure_codec.h"

namespace velk::ua {

enum class FilterOperator : std::int32_t {
    kEquals = 0,
    kIsNull = 1,
    kGreaterThan = 2,
    kLessThan = 3,
    kGreaterThanOrEqual = 4,
    kLessThanOrEqual = 5,
    kLike = 6,
    kNot = 7,
    kBetween = 8,
    kInList = 9,
    kAnd = 10,
    kOr = 11,
    kCast = 12,
    kInView = 13,
    kOfType = 14,
    kRelatedTo = 15,
    kBitwiseAnd = 16,
    kBitwiseOr = 17,
};

struct SimpleAttributeOperand {
    NodeId typeDefinitionId;
    std::vector<QualifiedName> browsePath;
    std::uint32_t attributeId = ids::kAttributeValue;
    std::string indexRange;
};

struct LiteralOperand {
    Variant value;
};

struct ElementOperand {
    std::uint32_t index = 0;
};

struct ContentFilterElement {
    FilterOperator filterOperator = FilterOperator::kEquals;
    std::vector<ExtensionObject> filterOperands;
};

struct ContentFilter {
    std::vector<ContentFilterElement> elements;
};

struct EventFilter {
    std::vector<SimpleAttributeOperand> selectClauses;
    ContentFilter whereClause;
};

struct ContentFilterElementResult {
    StatusCode statusCode;
    std::vector<StatusCode> operandStatusCodes;
    std::vector<DiagnosticInfo> operandDiagnosticInfos;
};

struct ContentFilterResult {
    std::vector<ContentFilterElementResult> elementResults;
    std::vector<DiagnosticInfo> elementDiagnosticInfos;
};

struct EventFilterResult {
    std::vector<StatusCode> selectClauseResults;
    std::vector<DiagnosticInfo> selectClauseDiagnosticInfos;
    ContentFilterResult whereClauseResult;
};

template <>
struct StructureSchema<SimpleAttributeOperand> {
    static constexpr std::string_view kName = "SimpleAttributeOperand";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kSimpleAttributeOperandEncoding;
    static constexpr auto kFields =
        std::tuple{Field{"TypeDefinitionId", &SimpleAttributeOperand::typeDefinitionId},
                   Field{"BrowsePath", &SimpleAttributeOperand::browsePath},
                   Field{"AttributeId", &SimpleAttributeOperand::attributeId},
                   Field{"IndexRange", &SimpleAttributeOperand::indexRange}};
};
template <>
struct StructureSchema<LiteralOperand> {
    static constexpr std::string_view kName = "LiteralOperand";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kLiteralOperandEncoding;
    static constexpr auto kFields = std::tuple{Field{"Value", &LiteralOperand::value}};
};
template <>
struct StructureSchema<ElementOperand> {
    static constexpr std::string_view kName = "ElementOperand";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kElementOperandEncoding;
    static constexpr auto kFields = std::tuple{Field{"Index", &ElementOperand::index}};
};
template <>
struct StructureSchema<ContentFilterElement> {
    static constexpr std::string_view kName = "ContentFilterElement";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kContentFilterElementEncoding;
    static constexpr auto kFields =
        std::tuple{Field{"FilterOperator", &ContentFilterElement::filterOperator},
                   Field{"FilterOperands", &ContentFilterElement::filterOperands}};
};
template <>
struct StructureSchema<ContentFilter> {
    static constexpr std::string_view kName = "ContentFilter";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kContentFilterEncoding;
    static constexpr auto kFields = std::tuple{Field{"Elements", &ContentFilter::elements}};
};
template <>
struct StructureSchema<EventFilter> {
    static constexpr std::string_view kName = "EventFilter";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kEventFilterEncoding;
    static constexpr auto kFields = std::tuple{Field{"SelectClauses", &EventFilter::selectClauses},
                                               Field{"WhereClause", &EventFilter::whereClause}};
};
template <>
struct StructureSchema<ContentFilterElementResult> {
    static constexpr std::string_view kName = "ContentFilterElementResult";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kContentFilterElementResultEncoding;
    static constexpr auto kFields = std::tuple{
        Field{"StatusCode", &ContentFilterElementResult::statusCode},
        Field{"OperandStatusCodes", &ContentFilterElementResult::operandStatusCodes},
        Field{"OperandDiagnosticInfos", &ContentFilterElementResult::operandDiagnosticInfos}};
};
template <>
struct StructureSchema<ContentFilterResult> {
    static constexpr std::string_view kName = "ContentFilterResult";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kContentFilterResultEncoding;
    static constexpr auto kFields =
        std::tuple{Field{"ElementResults", &ContentFilterResult::elementResults},
                   Field{"ElementDiagnosticInfos", &ContentFilterResult::elementDiagnosticInfos}};
};
template <>
struct StructureSchema<EventFilterResult> {
    static constexpr std::string_view kName = "EventFilterResult";
    static constexpr std::uint32_t kBinaryEncodingId = ids::kEventFilterResultEncoding;
    static constexpr auto kFields = std::tuple{
        Field{"SelectClauseResults", &EventFilterResult::selectClauseResults},
        Field{"SelectClauseDiagnosticInfos", &EventFilterResult::selectClauseDiagnosticInfos},
        Field{"WhereClauseResult", &EventFilterResult::whereClauseResult}};
};

// A checked filter, ready to evaluate events: its operands decoded once.
class CheckedEventFilter {
  public:
    // True when the where clause holds for the event (an empty clause always holds).
    bool Matches(const UaEvent& event) const;
    // The selected fields' values in select clause order (null where the event has none).
    std::vector<Variant> Select(const UaEvent& event) const;

    struct Operand {
        enum class Kind : std::uint8_t { kLiteral, kElement, kAttribute } kind = Kind::kLiteral;
        Variant literal;
        std::uint32_t element = 0;
        SimpleAttributeOperand attribute;
    };
    struct Element {
        FilterOperator op = FilterOperator::kEquals;
        std::vector<Operand> operands;
    };

  private:
    friend StatusCode CheckEventFilter(const EventFilter&, CheckedEventFilter&, EventFilterResult&);
    Variant Evaluate(std::size_t element, const UaEvent& event) const;
    Variant OperandValue(const Operand& operand, const UaEvent& event) const;

    std::vector<SimpleAttributeOperand> select_;
    std::vector<Element> where_;
};

// Checks a filter. Good: checked holds it and result is empty. Otherwise
// BadEventFilterInvalid, and result has a code per select clause and per where clause element
// (with a code per operand of an element whose operands are at fault).
StatusCode CheckEventFilter(const EventFilter& filter, CheckedEventFilter& checked,
                            EventFilterResult& result);
// A monitored item's filter as the client sent it: an EventFilter's ExtensionObject decoded
// through its schema, then checked.
StatusCode CheckEventFilter(const ExtensionObject& filter, CheckedEventFilter& checked,
                            EventFilterResult& result, const DecodeLimits& limits = {});

}  // namespace velk::ua
