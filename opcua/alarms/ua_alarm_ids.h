#pragma once
// The standard (namespace 0) numeric ids of the event and condition types this server
// reports, of the state machine states and methods, of the Server object's redundancy
// nodes and of the filter structures' binary encodings; and the status codes of the
// alarm methods and event filters.
#include <cstdint>

#include "opcua/status_codes.h"

namespace velk::ua::ids {

// Event and condition types.
inline constexpr std::uint32_t kBaseEventType = 2041;
inline constexpr std::uint32_t kSystemEventType = 2130;
inline constexpr std::uint32_t kRefreshStartEventType = 2787;
inline constexpr std::uint32_t kRefreshEndEventType = 2788;
inline constexpr std::uint32_t kConditionType = 2782;
inline constexpr std::uint32_t kAcknowledgeableConditionType = 2881;
inline constexpr std::uint32_t kAlarmConditionType = 2915;
inline constexpr std::uint32_t kLimitAlarmType = 2955;
inline constexpr std::uint32_t kExclusiveLimitAlarmType = 9341;
inline constexpr std::uint32_t kDiscreteAlarmType = 10523;
inline constexpr std::uint32_t kOffNormalAlarmType = 10637;
inline constexpr std::uint32_t kSystemOffNormalAlarmType = 11753;

// The states of ExclusiveLimitStateMachineType, as LimitState/CurrentState/Id names them.
inline constexpr std::uint32_t kLimitStateHighHigh = 9329;
inline constexpr std::uint32_t kLimitStateHigh = 9331;
inline constexpr std::uint32_t kLimitStateLow = 9333;
inline constexpr std::uint32_t kLimitStateLowLow = 9335;

// Methods.
inline constexpr std::uint32_t kConditionRefreshMethod = 3875;
inline constexpr std::uint32_t kConditionRefresh2Method = 12912;
inline constexpr std::uint32_t kEnableMethod = 9027;
inline constexpr std::uint32_t kDisableMethod = 9028;
inline constexpr std::uint32_t kAddCommentMethod = 9029;
inline constexpr std::uint32_t kAcknowledgeMethod = 9111;

// The Server object and its redundancy nodes.
inline constexpr std::uint32_t kServer = 2253;
inline constexpr std::uint32_t kServerServiceLevel = 2267;
inline constexpr std::uint32_t kServerRedundancy = 2296;
inline constexpr std::uint32_t kServerRedundancySupport = 3709;
inline constexpr std::uint32_t kServerRedundancyServerUriArray = 11492;
inline constexpr std::uint32_t kNonTransparentRedundancyType = 2039;

// Binary encodings of the filter structures.
inline constexpr std::uint32_t kContentFilterElementEncoding = 585;
inline constexpr std::uint32_t kContentFilterEncoding = 588;
inline constexpr std::uint32_t kElementOperandEncoding = 594;
inline constexpr std::uint32_t kLiteralOperandEncoding = 597;
inline constexpr std::uint32_t kAttributeOperandEncoding = 600;
inline constexpr std::uint32_t kSimpleAttributeOperandEncoding = 603;
inline constexpr std::uint32_t kContentFilterElementResultEncoding = 606;
inline constexpr std::uint32_t kContentFilterResultEncoding = 609;
inline constexpr std::uint32_t kEventFilterEncoding = 727;
inline constexpr std::uint32_t kEventFilterResultEncoding = 736;

// Attribute ids a select clause may name.
inline constexpr std::uint32_t kAttributeNodeId = 1;
inline constexpr std::uint32_t kAttributeValue = 13;

}  // namespace velk::ua::ids
