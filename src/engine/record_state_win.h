#pragma once
// A recording's state as scripts and the buttons see it, and the message its parts post when they
// need the recording stopped.

#include <cstdint>
#include <windows.h>

namespace record_state {
inline constexpr int32_t Idle = 0;
inline constexpr int32_t Recording = 1;
inline constexpr int32_t Paused = 2;
} // namespace record_state

// Posted to the host window when the engine asks for its own stop (a failure while recording):
// a message of its own, so no hot key can be taken for it.
inline constexpr UINT WM_ENGINE_STOP_REQUEST = WM_APP + 4;
