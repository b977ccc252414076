#include "platform/Window.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/FormFont.h"
#include "platform/win32/Native.h"

namespace pelorin::platform {

using win32::ToHwnd;
using win32::ToNative;
using win32::WindowProcFromNative;
namespace {}  // namespace

// A STATIC window is the cheapest window class that needs no registration; it stays
// hidden because WS_VISIBLE is not given and it is never shown.
WindowHandle CreateHiddenWindow(std::string_view title) {
    const std::string caption(title);
    HWND hwnd = CreateWindowExA(0, "STATIC", caption.c_str(), WS_OVERLAPPEDWINDOW, 5, 1, 200, 100,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    return reinterpret_cast<WindowHandle>(hwnd);
}

bool DestroyWin(WindowHandle window) {
    HWND hwnd = ToHwnd(window);
    HANDLE font = RemovePropA(hwnd, win32::kFormFontProperty);
    if (!DestroyWindow(hwnd)) {
        if (font != nullptr) SetPropA(hwnd, win32::kFormFontProperty, font);
        return false;
    }
    if (font != nullptr) DeleteObject(font);  // the controls that used it are gone now
    return true;
}

bool WindowExists(WindowHandle window) {
    return IsWindow(ToHwnd(window)) != FALSE;
}

// For a window of a Unicode class the previous value may be a thunk rather than code,
// which is why it must only be called through CallWindowProcA.
WindowProc ReplaceWindowProc(WindowHandle window, WindowProc proc) {
    const LONG_PTR previous =
        SetWindowLongPtrA(ToHwnd(window), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ToNative(proc)));
    return WindowProcFromNative(previous);
}

LResult CallPreviousProc(WindowProc previous, WindowHandle window, MessageId message, WParam wParam,
                         LParam lParam) {
    if (previous == nullptr) return 0;
    return CallWindowProcA(ToNative(previous), ToHwnd(window), message, wParam, lParam);
}

// DefWindowProcA, except that closing goes through DestroyWin (which is all
// DefWindowProcA does for WM_CLOSE) so that a form's font is released with the form.
LResult DefaultWindowProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    if (message == WM_CLOSE) {
        DestroyWin(window);
        return 0;
    }
    return DefWindowProcA(ToHwnd(window), message, wParam, lParam);
}

void SetWindowData(WindowHandle window, std::intptr_t data) {
    SetWindowLongPtrA(ToHwnd(window), GWLP_USERDATA, data);
}

std::intptr_t GetWindowData(WindowHandle window) {
    return GetWindowLongPtrA(ToHwnd(window), GWLP_USERDATA);
}

bool SetWindowTextBytes(WindowHandle window, std::string_view text) {
    const std::string copy(text);
    return SetWindowTextA(ToHwnd(window), copy.c_str()) != FALSE;
}

std::string GetWindowTextBytes(WindowHandle window) {
    HWND hwnd = ToHwnd(window);
    const int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

}  // namespace pelorin::platform
