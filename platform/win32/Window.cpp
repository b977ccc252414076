#include "platform/Window.h"

#include <windows.h>

#include <algorithm>
#include <new>

#include "platform/win32/FormFont.h"
#include "platform/win32/Native.h"

namespace pelorin::platform {

using win32::ToHwnd;
namespace {

// A window whose procedure this layer replaced runs NeutralProcThunk, a procedure of the
// system's calling convention, until it is destroyed. The thunk calls the neutral
// procedure in the window's record; the record also keeps the system procedure the window
// had before, which CallSystemProc calls.
struct Subclass {
    WindowProc proc = nullptr;
    WNDPROC system = nullptr;
};
constexpr char kSubclassProperty[] = "Pelorin.Subclass";

Subclass* SubclassOf(HWND hwnd) {
    return static_cast<Subclass*>(GetPropA(hwnd, kSubclassProperty));
}

LRESULT CALLBACK NeutralProcThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const Subclass* record = SubclassOf(hwnd);
    // Copied: the procedure may replace itself while it runs.
    const WindowProc proc = record != nullptr ? record->proc : nullptr;
    const LRESULT result = proc != nullptr
                               ? proc(reinterpret_cast<WindowHandle>(hwnd), message, wParam, lParam)
                               : DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        delete static_cast<Subclass*>(RemovePropA(hwnd, kSubclassProperty));
    }
    return result;
}

// The neutral stand-in for the system procedure a window had before this layer replaced
// it: ReplaceWindowProc hands it out as that window's previous procedure.
LResult CallSystemProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    HWND hwnd = ToHwnd(window);
    const Subclass* record = SubclassOf(hwnd);
    if (record == nullptr || record->system == nullptr) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    return CallWindowProcA(record->system, hwnd, message, wParam, lParam);
}

}  // namespace

// The system's "static" class: the cheapest window class that needs no registration. The
// window stays hidden because WS_VISIBLE is not given and it is never shown.
constexpr char kHiddenWindowClass[] = "STATIC";

WindowHandle CreateHiddenWindow(std::string_view title) {
    const std::string caption(title);
    HWND hwnd = CreateWindowExA(0, kHiddenWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW, 5, 1,
                                200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
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

// The first replacement puts the thunk in place and remembers the system procedure; later
// ones only change the record. The system procedure may be a thunk of the system's own
// rather than code (for a window of a Unicode class), which is why it is only ever called
// through CallWindowProcA.
WindowProc ReplaceWindowProc(WindowHandle window, WindowProc proc) {
    HWND hwnd = ToHwnd(window);
    if (!IsWindow(hwnd)) return nullptr;
    if (Subclass* record = SubclassOf(hwnd)) {
        const WindowProc previous = record->proc;
        record->proc = proc;
        return previous;
    }
    auto* record = new (std::nothrow) Subclass{proc, nullptr};
    if (record == nullptr) return nullptr;
    if (!SetPropA(hwnd, kSubclassProperty, record)) {
        delete record;
        return nullptr;
    }
    const LONG_PTR system =
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NeutralProcThunk));
    if (system == 0) {
        delete static_cast<Subclass*>(RemovePropA(hwnd, kSubclassProperty));
        return nullptr;
    }
    record->system = reinterpret_cast<WNDPROC>(system);
    return CallSystemProc;
}

LResult CallPreviousProc(WindowProc previous, WindowHandle window, MessageId message, WParam wParam,
                         LParam lParam) {
    if (previous == nullptr) return 0;
    return previous(window, message, wParam, lParam);
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
