// Window timers and callback timers. Ticks are delivered as kWmTimer messages by the loop
// of the thread that set the timer, never by another thread, and only when its queue is
// otherwise empty.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace pelorin::platform {

// A timer identified by (window, id): every `periodMs` the window procedure gets
// kWmTimer with wParam = id. Setting an existing (window, id) restarts it with the new
// period. False when the window does not exist.
bool SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs);
bool KillWindowTimer(WindowHandle window, std::uintptr_t id);

// A timer without a window: every `periodMs` `proc` runs on the calling thread's loop
// with the id the system picked (never 0). Returns that id, or 0 on failure.
std::uintptr_t SetCallbackTimer(std::uint32_t periodMs, TimerProc proc);
bool KillCallbackTimer(std::uintptr_t id);

}  // namespace pelorin::platform
