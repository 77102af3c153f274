#pragma once
// The messages of the application object's main loop and of its redundancy threads (fixed
// values above WM_USER; WM_USER + 53 is the AeEventThread's WM_AE_EVENT).
#include <cstdint>

#include "platform/message_queue.h"

namespace velk {

// wParam 0 locks, 1 unlocks the module (the object host's client references).
inline constexpr std::uint32_t WM_MODULE_LOCK = WM_USER + 50;
// A second start asked the running server to come forward.
inline constexpr std::uint32_t WM_SHOW_INSTANCE = WM_USER + 51;
inline constexpr std::uint32_t WM_REDUNDANCY_TIME_SYNC = WM_USER + 59;
inline constexpr std::uint32_t WM_REDUNDANCY_RECEIVED = WM_USER + 60;

}  // namespace velk
