// Conversions between the neutral handle types and the Win32 ones. Only the Windows
// backend and tests that look at real windows include this.
//
// The neutral procedures (WindowProc, TimerProc) have the compiler's default calling
// convention; the system calls its callbacks with CALLBACK (__stdcall on 32-bit x86), so
// they are never cast to WNDPROC or TIMERPROC: Window.cpp and Timers.cpp hand the system
// procedures of the system's convention that call the neutral ones.
#pragma once

#include <windows.h>

#include <type_traits>

#include "platform/Types.h"

namespace pelorin::platform::win32 {

// The neutral types carry the system's values unchanged at either bitness: handles and
// message parameters are pointer-sized, with the system's signedness.
static_assert(sizeof(WindowHandle) == sizeof(HWND));
static_assert(sizeof(SocketHandle) == sizeof(UINT_PTR));  // SOCKET
static_assert(std::is_same_v<MessageId, UINT>);
template <class Neutral, class System>
constexpr bool kSameWidth =
    sizeof(Neutral) == sizeof(System) && std::is_signed_v<Neutral> == std::is_signed_v<System>;
static_assert(kSameWidth<WParam, WPARAM> && kSameWidth<LParam, LPARAM>);
static_assert(kSameWidth<LResult, LRESULT>);
static_assert(sizeof(std::uintptr_t) == sizeof(UINT_PTR));  // timer ids
static_assert(sizeof(std::intptr_t) == sizeof(LONG_PTR));   // window data, a pointer

inline HWND ToHwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

}  // namespace pelorin::platform::win32
