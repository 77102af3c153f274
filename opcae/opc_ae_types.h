#pragma once
// The values and records that cross the AE client boundary: change masks, condition states,
// filter and browse codes, the event record of OnEvent and the server status record.
#include <cstdint>
#include <string>
#include <vector>

#include "model/variant.h"
#include "platform/clock.h"

namespace velk {

// Change mask bits of an event.
inline constexpr std::uint16_t OPC_CHANGE_ACTIVE_STATE = 0x0001;
inline constexpr std::uint16_t OPC_CHANGE_ACK_STATE = 0x0002;
inline constexpr std::uint16_t OPC_CHANGE_ENABLE_STATE = 0x0004;
inline constexpr std::uint16_t OPC_CHANGE_QUALITY = 0x0008;
inline constexpr std::uint16_t OPC_CHANGE_SEVERITY = 0x0010;
inline constexpr std::uint16_t OPC_CHANGE_SUBCONDITION = 0x0020;
inline constexpr std::uint16_t OPC_CHANGE_MESSAGE = 0x0040;
inline constexpr std::uint16_t OPC_CHANGE_ATTRIBUTE = 0x0080;

// Condition state bits.
inline constexpr std::uint16_t OPC_CONDITION_ENABLED = 0x0001;
inline constexpr std::uint16_t OPC_CONDITION_ACTIVE = 0x0002;
inline constexpr std::uint16_t OPC_CONDITION_ACKED = 0x0004;

// Filters the server offers.
inline constexpr std::uint32_t OPC_FILTER_BY_EVENT = 0x01;
inline constexpr std::uint32_t OPC_FILTER_BY_CATEGORY = 0x02;
inline constexpr std::uint32_t OPC_FILTER_BY_SEVERITY = 0x04;
inline constexpr std::uint32_t OPC_FILTER_BY_AREA = 0x08;
inline constexpr std::uint32_t OPC_FILTER_BY_SOURCE = 0x10;

// Area browsing.
inline constexpr std::uint32_t OPC_AREA = 1;
inline constexpr std::uint32_t OPC_SOURCE = 2;
inline constexpr std::uint32_t OPCAE_BROWSE_UP = 1;
inline constexpr std::uint32_t OPCAE_BROWSE_DOWN = 2;
inline constexpr std::uint32_t OPCAE_BROWSE_TO = 3;

inline constexpr std::uint32_t OPC_STATUS_RUNNING = 1;
inline constexpr std::uint32_t kAeLocaleId = 0x0800;

// All event type bits, and the category filter that selects every category.
inline constexpr std::uint32_t kAllEventTypes = 7;
inline constexpr std::uint32_t kAllCategoriesFilter = 0x0001010F;

// One event of an OnEvent call. Attribute values follow the subscription's selection for
// the category; an empty variant stands for VT_NULL.
struct OnEventStruct {
    std::uint16_t changeMask = 0;
    std::uint16_t newState = 0;
    std::string source;
    FileTime time = 0;
    std::string message;
    std::uint32_t eventType = 0;
    std::uint32_t eventCategory = 0;
    std::uint32_t severity = 0;
    std::string conditionName;
    std::string subconditionName;
    std::uint16_t quality = 0;
    bool ackRequired = false;
    FileTime activeTime = 0;
    std::uint32_t cookie = 0;
    std::vector<Variant> attributes;
    std::string actorId;
};

// What GetStatus reports.
struct OPCEventServerStatus {
    FileTime startTime = 0;
    FileTime currentTime = 0;
    FileTime lastUpdateTime = 0;
    std::uint32_t serverState = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
    std::uint16_t buildNumber = 0;
    std::string vendorInfo;
};

// One entry of AckCondition: the client's source, condition name, active time and cookie.
struct AckConditionEntry {
    std::string source;
    std::string conditionName;
    FileTime activeTime = 0;
    std::uint32_t cookie = 0;
};

}  // namespace velk
