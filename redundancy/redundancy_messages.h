#pragma once
// The messages of the redundancy client thread (fixed values above WM_USER).
#include <cstdint>

#include "platform/message_queue.h"

namespace velk {

// wParam 1: send the local time to the peer now (the sync master's timer).
inline constexpr std::uint32_t WM_REDUNDANCY_TIME_SYNC = WM_USER + 59;
// lParam: the received-packet queue whose packets the client thread applies.
inline constexpr std::uint32_t WM_REDUNDANCY_RECEIVED = WM_USER + 60;

}  // namespace velk
