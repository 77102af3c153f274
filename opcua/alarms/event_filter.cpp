#include "opcua/alarms/event_filter.h"

#include <optional>

namespace velk::ua {
namespace {

std::string JoinPath(const std::vector<QualifiedName>& path) {
    std::string joined;
    for (const auto& name : path) {
        if (!joined.empty()) joined += '/';
        joined += name.name;
    }
    return joined;
}

// The code of one select clause or attribute operand: a known event type, a path of
// standard names that the type has, the Value attribute of a field or the NodeId of the
// condition itself (an empty path on a condition type).
StatusCode CheckAttribute(const SimpleAttributeOperand& operand) {
    const EventTypeInfo* type = FindEventType(operand.typeDefinitionId);
    if (type == nullptr) return kBadTypeDefinitionInvalid;
    if (!operand.indexRange.empty()) return kBadIndexRangeInvalid;
    if (operand.browsePath.empty()) {
        const bool conditionId = operand.attributeId == ids::kAttributeNodeId &&
                                 IsSubtypeOf(type->id, ids::kConditionType);
        return conditionId ? kGood : kBadAttributeIdInvalid;
    }
    for (const auto& name : operand.browsePath)
        if (name.name.empty()) return kBadBrowseNameInvalid;
    if (operand.attributeId != ids::kAttributeValue) return kBadAttributeIdInvalid;
    for (const auto& name : operand.browsePath)
        if (name.namespaceIndex != 0) return kBadNodeIdUnknown;
    return TypeHasField(type->id, JoinPath(operand.browsePath)) ? kGood : kBadNodeIdUnknown;
}

// The operand counts of the operators this server evaluates; -1 for "two or more",
// nullopt for an operator it does not evaluate.
std::optional<int> OperandCount(FilterOperator op) {
    switch (op) {
        case FilterOperator::kEquals:
        case FilterOperator::kGreaterThan:
        case FilterOperator::kLessThan:
        case FilterOperator::kGreaterThanOrEqual:
        case FilterOperator::kLessThanOrEqual:
        case FilterOperator::kAnd:
        case FilterOperator::kOr:
            return 2;
        case FilterOperator::kIsNull:
        case FilterOperator::kNot:
        case FilterOperator::kOfType:
            return 1;
        case FilterOperator::kBetween:
            return 3;
        case FilterOperator::kInList:
            return -1;
        default:
            return std::nullopt;
    }
}

// Elements of one where clause at most: an element operand refers only to later elements, so
// this also bounds how deep the evaluation goes.
constexpr std::size_t kMaxWhereElements = 256;

bool KnownOperator(std::int32_t op) { return op >= 0 && op <= 17; }

bool IsNumber(const VariantScalar& v) {
    return v.index() >= static_cast<std::size_t>(BuiltinType::kSByte) &&
           v.index() <= static_cast<std::size_t>(BuiltinType::kDouble);
}

double AsDouble(const VariantScalar& v) {
    return std::visit(
        [](const auto& x) -> double {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_arithmetic_v<T>)
                return static_cast<double>(x);
            else
                return 0;
        },
        v);
}

// -1, 0, 1 for two comparable scalars (numbers with each other, strings, times, localized
// texts by their text); nullopt when they do not compare.
std::optional<int> Compare(const Variant& a, const Variant& b) {
    if (a.isArray || b.isArray || a.IsNull() || b.IsNull()) return std::nullopt;
    const VariantScalar& x = a.scalar;
    const VariantScalar& y = b.scalar;
    auto order = [](auto l, auto r) { return l < r ? -1 : (r < l ? 1 : 0); };
    if (IsNumber(x) && IsNumber(y)) {
        if (x.index() == y.index() && std::holds_alternative<std::int64_t>(x))
            return order(std::get<std::int64_t>(x), std::get<std::int64_t>(y));
        if (x.index() == y.index() && std::holds_alternative<std::uint64_t>(x))
            return order(std::get<std::uint64_t>(x), std::get<std::uint64_t>(y));
        return order(AsDouble(x), AsDouble(y));
    }
    if (const auto* s = std::get_if<std::string>(&x)) {
        if (const auto* t = std::get_if<std::string>(&y)) return order(*s, *t);
        if (const auto* t = std::get_if<LocalizedText>(&y)) return order(*s, t->text);
    }
    if (const auto* s = std::get_if<LocalizedText>(&x)) {
        if (const auto* t = std::get_if<LocalizedText>(&y)) return order(s->text, t->text);
        if (const auto* t = std::get_if<std::string>(&y)) return order(s->text, *t);
    }
    if (const auto* s = std::get_if<DateTime>(&x))
        if (const auto* t = std::get_if<DateTime>(&y)) return order(s->ticks, t->ticks);
    return std::nullopt;
}

bool Equal(const Variant& a, const Variant& b) {
    if (const auto c = Compare(a, b)) return *c == 0;
    return !a.IsNull() && a == b;
}

bool IsTrue(const Variant& v) {
    const auto* b = std::get_if<bool>(&v.scalar);
    return !v.isArray && b != nullptr && *b;
}

// Decodes an operand of the three kinds this server takes.
StatusCode DecodeOperand(const ExtensionObject& object, CheckedEventFilter::Operand& operand,
                         BinaryReader& outer) {
    using Kind = CheckedEventFilter::Operand::Kind;
    if (object.typeId == BinaryEncodingId<LiteralOperand>()) {
        LiteralOperand literal;
        if (!IsGood(FromExtensionObject(object, literal, outer))) return kBadFilterOperandInvalid;
        operand.kind = Kind::kLiteral;
        operand.literal = std::move(literal.value);
        return kGood;
    }
    if (object.typeId == BinaryEncodingId<ElementOperand>()) {
        ElementOperand element;
        if (!IsGood(FromExtensionObject(object, element, outer))) return kBadFilterOperandInvalid;
        operand.kind = Kind::kElement;
        operand.element = element.index;
        return kGood;
    }
    if (object.typeId == BinaryEncodingId<SimpleAttributeOperand>()) {
        SimpleAttributeOperand attribute;
        if (!IsGood(FromExtensionObject(object, attribute, outer))) return kBadFilterOperandInvalid;
        const StatusCode check = CheckAttribute(attribute);
        if (!IsGood(check)) return check;
        operand.kind = Kind::kAttribute;
        operand.attribute = std::move(attribute);
        return kGood;
    }
    // AttributeOperand names nodes by relative path in the address space, not event fields.
    return kBadFilterOperandInvalid;
}

}  // namespace

StatusCode CheckEventFilter(const EventFilter& filter, CheckedEventFilter& checked,
                            EventFilterResult& result) {
    result = {};
    checked = {};
    bool bad = filter.selectClauses.empty();
    std::vector<StatusCode> select;
    for (const auto& clause : filter.selectClauses) {
        select.push_back(CheckAttribute(clause));
        bad = bad || !IsGood(select.back());
    }

    BinaryReader outer{std::span<const std::uint8_t>{}};
    const auto& elements = filter.whereClause.elements;
    if (elements.size() > kMaxWhereElements) return kBadEventFilterInvalid;
    std::vector<ContentFilterElementResult> where(elements.size());
    std::vector<CheckedEventFilter::Element> decoded(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const ContentFilterElement& element = elements[i];
        ContentFilterElementResult& r = where[i];
        decoded[i].op = element.filterOperator;
        if (!KnownOperator(static_cast<std::int32_t>(element.filterOperator))) {
            r.statusCode = kBadFilterOperatorInvalid;
            bad = true;
            continue;
        }
        const auto count = OperandCount(element.filterOperator);
        if (!count) {
            r.statusCode = kBadFilterOperatorUnsupported;
            bad = true;
            continue;
        }
        const std::size_t n = element.filterOperands.size();
        if ((*count < 0 && n < 2) || (*count >= 0 && n != static_cast<std::size_t>(*count))) {
            r.statusCode = kBadFilterOperandCountMismatch;
            bad = true;
            continue;
        }
        bool operandsBad = false;
        r.operandStatusCodes.assign(n, kGood);
        decoded[i].operands.resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            auto& operand = decoded[i].operands[k];
            StatusCode code = DecodeOperand(element.filterOperands[k], operand, outer);
            using Kind = CheckedEventFilter::Operand::Kind;
            // An element refers only to later elements, so no clause can loop into itself.
            if (IsGood(code) && operand.kind == Kind::kElement &&
                (operand.element <= i || operand.element >= elements.size()))
                code = kBadFilterOperandInvalid;
            // OfType names a known event type by a literal NodeId.
            if (IsGood(code) && element.filterOperator == FilterOperator::kOfType) {
                const auto* type = std::get_if<NodeId>(&operand.literal.scalar);
                if (operand.kind != Kind::kLiteral || operand.literal.isArray || type == nullptr ||
                    FindEventType(*type) == nullptr)
                    code = kBadFilterOperandInvalid;
            }
            r.operandStatusCodes[k] = code;
            operandsBad = operandsBad || !IsGood(code);
        }
        if (operandsBad) {
            r.statusCode = kBadFilterOperandInvalid;
            bad = true;
        } else {
            r.operandStatusCodes.clear();
        }
    }
    if (bad) {
        result.selectClauseResults = std::move(select);
        result.whereClauseResult.elementResults = std::move(where);
        return kBadEventFilterInvalid;
    }
    checked.select_ = filter.selectClauses;
    checked.where_ = std::move(decoded);
    return kGood;
}

StatusCode CheckEventFilter(const ExtensionObject& filter, CheckedEventFilter& checked,
                            EventFilterResult& result, const DecodeLimits& limits) {
    result = {};
    EventFilter decoded;
    BinaryReader outer(std::span<const std::uint8_t>{}, limits);
    const StatusCode status = FromExtensionObject(filter, decoded, outer);
    if (!IsGood(status)) return kBadEventFilterInvalid;
    return CheckEventFilter(decoded, checked, result);
}

Variant CheckedEventFilter::OperandValue(const Operand& operand, const UaEvent& event) const {
    switch (operand.kind) {
        case Operand::Kind::kLiteral:
            return operand.literal;
        case Operand::Kind::kElement:
            return Evaluate(operand.element, event);
        case Operand::Kind::kAttribute: {
            const SimpleAttributeOperand& a = operand.attribute;
            const auto* type = std::get_if<std::uint32_t>(&a.typeDefinitionId.identifier);
            // A field of a type the event is not of is absent from it.
            if (type == nullptr || !IsSubtypeOf(event.eventType, *type)) return {};
            if (a.browsePath.empty()) {
                if (event.conditionId.IsNull()) return {};
                return Variant::Scalar(event.conditionId);
            }
            return event.Field(JoinPath(a.browsePath));
        }
    }
    return {};
}

Variant CheckedEventFilter::Evaluate(std::size_t index, const UaEvent& event) const {
    const Element& element = where_[index];
    const auto& ops = element.operands;
    auto value = [&](std::size_t k) { return OperandValue(ops[k], event); };
    auto ordered = [&](auto holds) {
        const auto c = Compare(value(0), value(1));
        return Variant::Scalar(c.has_value() && holds(*c));
    };
    switch (element.op) {
        case FilterOperator::kEquals:
            return Variant::Scalar(Equal(value(0), value(1)));
        case FilterOperator::kIsNull:
            return Variant::Scalar(value(0).IsNull());
        case FilterOperator::kGreaterThan:
            return ordered([](int c) { return c > 0; });
        case FilterOperator::kLessThan:
            return ordered([](int c) { return c < 0; });
        case FilterOperator::kGreaterThanOrEqual:
            return ordered([](int c) { return c >= 0; });
        case FilterOperator::kLessThanOrEqual:
            return ordered([](int c) { return c <= 0; });
        case FilterOperator::kNot:
            return Variant::Scalar(!IsTrue(value(0)));
        case FilterOperator::kBetween: {
            const Variant x = value(0);
            const auto low = Compare(x, value(1));
            const auto high = Compare(x, value(2));
            return Variant::Scalar(low && high && *low >= 0 && *high <= 0);
        }
        case FilterOperator::kInList: {
            const Variant x = value(0);
            for (std::size_t k = 1; k < ops.size(); ++k)
                if (Equal(x, value(k))) return Variant::Scalar(true);
            return Variant::Scalar(false);
        }
        case FilterOperator::kAnd:
            return Variant::Scalar(IsTrue(value(0)) && IsTrue(value(1)));
        case FilterOperator::kOr:
            return Variant::Scalar(IsTrue(value(0)) || IsTrue(value(1)));
        case FilterOperator::kOfType: {
            const auto& type = std::get<NodeId>(ops[0].literal.scalar);
            return Variant::Scalar(
                IsSubtypeOf(event.eventType, std::get<std::uint32_t>(type.identifier)));
        }
        default:
            return Variant::Scalar(false);
    }
}

bool CheckedEventFilter::Matches(const UaEvent& event) const {
    return where_.empty() || IsTrue(Evaluate(0, event));
}

std::vector<Variant> CheckedEventFilter::Select(const UaEvent& event) const {
    std::vector<Variant> values;
    values.reserve(select_.size());
    for (const auto& clause : select_) {
        Operand operand;
        operand.kind = Operand::Kind::kAttribute;
        operand.attribute = clause;
        values.push_back(OperandValue(operand, event));
    }
    return values;
}

}  // namespace velk::ua
