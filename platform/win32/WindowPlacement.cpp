// Placement of real windows, in screen coordinates. A window in the normal state is read
// and moved directly; a minimised or maximised one keeps its normal bounds in its
// placement record.
#include "platform/WindowPlacement.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/win32/Native.h"

namespace pelorin::platform {

using win32::ToHwnd;

namespace {

// A coordinate computed in 64 bits, saturated at the range of a window coordinate.
LONG Saturated(std::int64_t value) {
    return static_cast<LONG>(std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(),
                                                      std::numeric_limits<LONG>::max()));
}

int ShowCommandFor(WindowState state) {
    switch (state) {
        case WindowState::Minimized:
            return SW_SHOWMINNOACTIVE;
        case WindowState::Maximized:
            return SW_SHOWMAXIMIZED;
        case WindowState::Normal:
            break;
    }
    return SW_SHOWNORMAL;
}

// The command that shows the window as it is now, for a placement that only moves it.
int CurrentShowCommand(HWND hwnd) {
    if (!IsWindowVisible(hwnd)) return SW_HIDE;
    if (IsIconic(hwnd)) return SW_SHOWMINNOACTIVE;
    if (IsZoomed(hwnd)) return SW_SHOWMAXIMIZED;
    return SW_SHOWNOACTIVATE;
}

// The placement record holds the normal bounds in work-area coordinates of the window's
// monitor; they differ from screen coordinates where a taskbar sits at the top or left.
POINT WorkAreaOffset(HWND hwnd) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info)) return {0, 0};
    return {info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

Bounds BoundsOf(const RECT& r, POINT offset) {
    return {static_cast<int>(r.left + offset.x), static_cast<int>(r.top + offset.y),
            static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top)};
}

}  // namespace

ScreenSize GetScreenSize() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

WindowState GetWindowState(WindowHandle window) {
    HWND hwnd = ToHwnd(window);
    if (!IsWindow(hwnd)) return WindowState::Normal;
    if (IsIconic(hwnd)) return WindowState::Minimized;
    if (IsZoomed(hwnd)) return WindowState::Maximized;
    return WindowState::Normal;
}

// Showing in a state also makes the window visible, so a hidden window is hidden again
// straight away: it keeps the state for the next time it is shown. A window minimised
// from the maximised state restores to maximised first; the second round makes it normal.
void SetWindowState(WindowHandle window, WindowState state) {
    HWND hwnd = ToHwnd(window);
    if (!IsWindow(hwnd)) return;
    const bool visible = IsWindowVisible(hwnd) != FALSE;
    for (int round = 0; round < 2 && GetWindowState(window) != state; ++round) {
        ShowWindow(hwnd, ShowCommandFor(state));
    }
    if (!visible) ShowWindow(hwnd, SW_HIDE);
}

Bounds GetNormalBounds(WindowHandle window) {
    HWND hwnd = ToHwnd(window);
    if (GetWindowState(window) == WindowState::Normal) {
        RECT r{};
        if (!GetWindowRect(hwnd, &r)) return {};
        return BoundsOf(r, {0, 0});
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(hwnd, &placement)) return {};
    return BoundsOf(placement.rcNormalPosition, WorkAreaOffset(hwnd));
}

// A window in the normal state is moved directly: a placement record that lies wholly off
// the screen would be pulled back onto it, and the bounds are to be applied as given.
void SetNormalBounds(WindowHandle window, Bounds bounds) {
    HWND hwnd = ToHwnd(window);
    if (!IsWindow(hwnd)) return;
    if (GetWindowState(window) == WindowState::Normal) {
        SetWindowPos(hwnd, nullptr, bounds.left, bounds.top, bounds.width, bounds.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(hwnd, &placement)) return;
    const POINT offset = WorkAreaOffset(hwnd);
    const std::int64_t left = std::int64_t{bounds.left} - offset.x;
    const std::int64_t top = std::int64_t{bounds.top} - offset.y;
    placement.flags &= WPF_RESTORETOMAXIMIZED;  // leave the minimised position alone
    placement.showCmd = static_cast<UINT>(CurrentShowCommand(hwnd));
    placement.rcNormalPosition = {Saturated(left), Saturated(top), Saturated(left + bounds.width),
                                  Saturated(top + bounds.height)};
    SetWindowPlacement(hwnd, &placement);
}

}  // namespace pelorin::platform
