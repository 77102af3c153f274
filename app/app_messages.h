#pragma once
// The messages of the application object's main loop (fixed values above WM_USER; WM_USER + 53
// is the AeEventThread's WM_AE_EVENT, WM_USER + 59 and + 60 the redundancy client thread's).
#include <cstdint>

#include "platform/message_queue.h"
#include "redundancy/redundancy_messages.h"

namespace velk {

// wParam 0 locks, 1 unlocks the module (the object host's client references).
inline constexpr std::uint32_t WM_MODULE_LOCK = WM_USER + 50;
// A second start asked the running server to come forward.
inline constexpr std::uint32_t WM_SHOW_INSTANCE = WM_USER + 51;

}  // namespace velk
