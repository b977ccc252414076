#include "platform/Timers.h"
#include "platform/win32/Native.h"

#include <windows.h>

namespace pelorin::platform {

using win32::ToHwnd;
using win32::ToNative;
namespace {}  // namespace

// SetTimer answers 0 only on failure (a window of another thread, or none at all).
bool SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) {
    if (window == 0) return false;  // SetTimer would make a thread timer instead
    return SetTimer(ToHwnd(window), id, periodMs, nullptr) != 0;
}

bool KillWindowTimer(WindowHandle window, std::uintptr_t id) {
    if (window == 0) return false;  // KillTimer would hit a callback timer with that id
    return KillTimer(ToHwnd(window), id) != FALSE;
}

std::uintptr_t SetCallbackTimer(std::uint32_t periodMs, TimerProc proc) {
    if (proc == nullptr) return 0;  // SetTimer would make a timer nobody handles
    return SetTimer(nullptr, 0, periodMs, ToNative(proc));
}

bool KillCallbackTimer(std::uintptr_t id) {
    return KillTimer(nullptr, id) != FALSE;
}

}  // namespace pelorin::platform
