#include "model/ae_event_space.h"

#include "core/trace_file.h"
#include "platform/text.h"

namespace velk {
namespace {

// Splits the file into lines without their line ends; a line longer than the limit is cut.
std::vector<std::string> SplitLines(const std::string& bytes, std::size_t maxLength) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        // Files written on Windows end their lines with CR LF; the CR is part of the line
        // end, not of the name.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > maxLength) line.resize(maxLength);
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace

void AeEventSpace::ResetToBuiltIn() {
    eventTypes_ = {
        {"CONDITION", OPC_CONDITION_EVENT},
        {"SIMPLE", OPC_SIMPLE_EVENT},
        {"TRACKING", OPC_TRACKING_EVENT},
    };
    categories_ = {
        {kCategoryDevice, "Device", OPC_CONDITION_EVENT, {}},
        {kCategoryDiscrete, "Discrete", OPC_CONDITION_EVENT, {111, 112, 113, 114}},
        {kCategoryAnalog, "Analog", OPC_CONDITION_EVENT, {111, 112, 113, 114}},
        {kCategoryUserDefined, "User-defined", OPC_CONDITION_EVENT, {110, 111, 112, 113, 114}},
        {kCategoryStatus, "Status", OPC_SIMPLE_EVENT, {}},
        {kCategoryEvent, "Event", OPC_TRACKING_EVENT, {}},
    };
    conditions_ = {
        {"Discrete Trip", 1, kCategoryDiscrete, kSubTrip, 1},
        {"Discrete On", 2, kCategoryDiscrete, kSubSet, 1},
        {"Device Comm", 3, kCategoryDevice, kSubCommFail, 1},
        {"Analog Level", 4, kCategoryAnalog, kSubLoLo, 4},
    };
    subconditions_ = {
        {"Normal", 0, 0}, {"Trip", 1, 0}, {"Set", 2, 1},  {"CommFail", 3, 2},
        {"LoLo", 4, 3},   {"Low", 5, 3},  {"High", 6, 3}, {"HiHi", 7, 3},
    };
    attributes_ = {
        {110, "SimpleCondition", kAttrVtBool},
        {111, "AREAS", kAttrVtBstr},
        {112, "NEW VALUE", kAttrVtVariant},
        {113, "Area", kAttrVtBstr},
        {114, "Class", kAttrVtI4},
    };
}

UserConditionReport AeEventSpace::AddUserConditions(const std::string& fileBytes) {
    UserConditionReport report;
    // While a condition could not be added, its subcondition lines are dropped with it
    // instead of being given to the condition before it.
    bool dropping = false;

    auto cutName = [&report](std::string name) {
        if (name.size() > kMaxNameLength) {
            name.resize(kMaxNameLength);
            report.namesCut = true;
        }
        return Latin1ToUtf8(name);
    };

    for (const std::string& line : SplitLines(fileBytes, kMaxLineLength)) {
        if (line.empty()) continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string name = close == std::string::npos ? "" : line.substr(1, close - 1);
            if (conditions_.size() >= kMaxConditions) {
                report.entriesDropped = true;
                dropping = true;
                continue;
            }
            dropping = false;
            AeCondition condition;
            condition.name = cutName(name);
            condition.id = static_cast<std::uint32_t>(conditions_.size() + 1);
            condition.categoryId = kCategoryUserDefined;
            condition.firstSubcondition = static_cast<std::uint16_t>(subconditions_.size());
            condition.subconditionCount = 0;
            conditions_.push_back(std::move(condition));
            ++report.conditionsAdded;
            continue;
        }
        if (dropping) continue;
        if (subconditions_.size() >= kMaxSubconditions) {
            report.entriesDropped = true;
            continue;
        }
        AeCondition& owner = conditions_.back();
        // Subconditions of one condition follow each other; a condition whose run was
        // interrupted cannot take more (only possible for a built-in one).
        if (owner.firstSubcondition + owner.subconditionCount != subconditions_.size()) {
            report.entriesDropped = true;
            continue;
        }
        AeSubcondition sub;
        sub.name = cutName(line);
        sub.index = static_cast<std::uint16_t>(subconditions_.size());
        sub.conditionIndex = static_cast<std::uint16_t>(conditions_.size() - 1);
        subconditions_.push_back(std::move(sub));
        ++owner.subconditionCount;
        ++report.subconditionsAdded;
    }

    if (report.namesCut)
        Trace("User condition file: names longer than 14 characters were cut to 14");
    if (report.entriesDropped)
        Trace(
            "User condition file: the condition tables are full (50 conditions, 100 "
            "subconditions); the remaining entries were ignored");
    return report;
}

int AeEventSpace::CategoryIndex(std::uint32_t categoryId) const {
    for (std::size_t i = 0; i < categories_.size(); ++i)
        if (categories_[i].id == categoryId) return static_cast<int>(i);
    return -1;
}

std::vector<std::uint16_t> AeEventSpace::ConditionsOfCategory(std::uint32_t categoryId) const {
    std::vector<std::uint16_t> indexes;
    for (std::size_t i = 0; i < conditions_.size(); ++i)
        if (conditions_[i].categoryId == categoryId)
            indexes.push_back(static_cast<std::uint16_t>(i));
    return indexes;
}

int AeEventSpace::FindCondition(const std::string& conditionName) const {
    for (std::size_t i = 0; i < conditions_.size(); ++i)
        if (conditions_[i].name == conditionName) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> AeEventSpace::SubconditionNames(std::uint16_t conditionIndex) const {
    std::vector<std::string> names;
    if (conditionIndex >= conditions_.size()) return names;
    const AeCondition& condition = conditions_[conditionIndex];
    for (std::uint16_t i = 0; i < condition.subconditionCount; ++i) {
        const std::size_t index = condition.firstSubcondition + i;
        if (index < subconditions_.size()) names.push_back(subconditions_[index].name);
    }
    return names;
}

std::string AeEventSpace::ConditionName(std::uint16_t conditionIndex) const {
    return conditionIndex < conditions_.size() ? conditions_[conditionIndex].name : std::string();
}

std::string AeEventSpace::SubconditionName(std::uint16_t subconditionIndex) const {
    return subconditionIndex < subconditions_.size() ? subconditions_[subconditionIndex].name
                                                     : std::string();
}

int AeEventSpace::ConditionOfSubcondition(std::uint16_t subconditionIndex) const {
    if (subconditionIndex >= subconditions_.size()) return -1;
    return subconditions_[subconditionIndex].conditionIndex;
}

}  // namespace velk
