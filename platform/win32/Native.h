// Conversions between the neutral handle and callback types and the Win32 ones. Only the
// Windows backend and tests that look at real windows include this.
#pragma once

#include <windows.h>

#include "platform/Types.h"

namespace pelorin::platform::win32 {

inline HWND ToHwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

// The neutral WindowProc and TimerProc have the same x64 calling convention and parameter
// widths as WNDPROC and TIMERPROC; the detour through a generic function pointer keeps
// -Wcast-function-type quiet.
using AnyFunction = void (*)();

inline WNDPROC ToNative(WindowProc proc) {
    return reinterpret_cast<WNDPROC>(reinterpret_cast<AnyFunction>(proc));
}

inline TIMERPROC ToNative(TimerProc proc) {
    return reinterpret_cast<TIMERPROC>(reinterpret_cast<AnyFunction>(proc));
}

inline WindowProc WindowProcFromNative(LONG_PTR proc) {
    return reinterpret_cast<WindowProc>(reinterpret_cast<AnyFunction>(proc));
}

}  // namespace pelorin::platform::win32
