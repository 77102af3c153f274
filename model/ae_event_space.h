#pragma once
// The AE event space: event types, categories, conditions, subconditions and attributes.
// Built in at start; the user condition file adds conditions and subconditions once,
// before the servers are used; afterwards the tables are only read. The document owns its
// event space (CDoc::EventSpace) and the AE server objects read the document's.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velk {

// OPC AE event type bits.
inline constexpr std::uint32_t OPC_SIMPLE_EVENT = 1;
inline constexpr std::uint32_t OPC_TRACKING_EVENT = 2;
inline constexpr std::uint32_t OPC_CONDITION_EVENT = 4;

// Category IDs.
inline constexpr std::uint32_t kCategoryDevice = 1;
inline constexpr std::uint32_t kCategoryDiscrete = 2;
inline constexpr std::uint32_t kCategoryAnalog = 4;
inline constexpr std::uint32_t kCategoryUserDefined = 8;
inline constexpr std::uint32_t kCategoryStatus = 256;
inline constexpr std::uint32_t kCategoryEvent = 65536;

// Variant type codes of attributes (VT_VARIANT marks "any type").
inline constexpr std::uint16_t kAttrVtI4 = 3;
inline constexpr std::uint16_t kAttrVtBstr = 8;
inline constexpr std::uint16_t kAttrVtBool = 11;
inline constexpr std::uint16_t kAttrVtVariant = 12;

struct AeEventType {
    std::string name;
    std::uint32_t type = 0;
};

struct AeCategory {
    std::uint32_t id = 0;
    std::string description;
    std::uint32_t eventType = 0;
    std::vector<std::uint32_t> attributeIds;
};

struct AeCondition {
    std::string name;
    std::uint32_t id = 0;
    std::uint32_t categoryId = 0;
    std::uint16_t firstSubcondition = 0;  // index of its first subcondition
    std::uint16_t subconditionCount = 0;  // its subconditions follow each other
};

struct AeSubcondition {
    std::string name;
    std::uint16_t index = 0;           // also its ID
    std::uint16_t conditionIndex = 0;  // the condition it belongs to
};

struct AeAttribute {
    std::uint32_t id = 0;
    std::string description;
    std::uint16_t type = 0;
};

// What loading the user condition file did, for the caller's messages.
struct UserConditionReport {
    std::size_t conditionsAdded = 0;
    std::size_t subconditionsAdded = 0;
    bool namesCut = false;        // some name had more than 14 characters
    bool entriesDropped = false;  // the tables were full
};

class AeEventSpace {
  public:
    static constexpr std::size_t kMaxConditions = 50;
    static constexpr std::size_t kMaxSubconditions = 100;
    static constexpr std::size_t kMaxNameLength = 14;
    static constexpr std::size_t kMaxLineLength = 1023;

    // Condition and subcondition indexes of the built-in entries.
    static constexpr std::uint16_t kDiscreteTrip = 0;
    static constexpr std::uint16_t kDiscreteOn = 1;
    static constexpr std::uint16_t kDeviceComm = 2;
    static constexpr std::uint16_t kAnalogLevel = 3;
    static constexpr std::uint16_t kSubNormal = 0;
    static constexpr std::uint16_t kSubTrip = 1;
    static constexpr std::uint16_t kSubSet = 2;
    static constexpr std::uint16_t kSubCommFail = 3;
    static constexpr std::uint16_t kSubLoLo = 4;
    static constexpr std::uint16_t kSubLow = 5;
    static constexpr std::uint16_t kSubHigh = 6;
    static constexpr std::uint16_t kSubHiHi = 7;

    AeEventSpace() { ResetToBuiltIn(); }

    // Back to the built-in tables only.
    void ResetToBuiltIn();

    // Applies the lines of a user condition file (ISO 8859-1 bytes): "[Name]" appends a
    // user-defined condition, any other non-empty line a subcondition of the last
    // condition. Names are cut to 14 characters and entries beyond the capacities are
    // dropped, with the subconditions of a dropped condition; each is traced once.
    UserConditionReport AddUserConditions(const std::string& fileBytes);

    const std::vector<AeEventType>& EventTypes() const { return eventTypes_; }
    const std::vector<AeCategory>& Categories() const { return categories_; }
    const std::vector<AeCondition>& Conditions() const { return conditions_; }
    const std::vector<AeSubcondition>& Subconditions() const { return subconditions_; }
    const std::vector<AeAttribute>& Attributes() const { return attributes_; }

    // Index of the category with the ID, or -1.
    int CategoryIndex(std::uint32_t categoryId) const;
    // Indexes of the conditions of a category, in table order.
    std::vector<std::uint16_t> ConditionsOfCategory(std::uint32_t categoryId) const;
    // Index of the condition whose name matches exactly, or -1.
    int FindCondition(const std::string& conditionName) const;
    // Names of a condition's subconditions.
    std::vector<std::string> SubconditionNames(std::uint16_t conditionIndex) const;
    // Names by index; empty text for an index that is not in the table.
    std::string ConditionName(std::uint16_t conditionIndex) const;
    std::string SubconditionName(std::uint16_t subconditionIndex) const;
    // The condition a subcondition belongs to ("Normal" belongs to condition 0's slot).
    int ConditionOfSubcondition(std::uint16_t subconditionIndex) const;

  private:
    std::vector<AeEventType> eventTypes_;
    std::vector<AeCategory> categories_;
    std::vector<AeCondition> conditions_;
    std::vector<AeSubcondition> subconditions_;
    std::vector<AeAttribute> attributes_;
};

}  // namespace velk
