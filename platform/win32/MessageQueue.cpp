#include "platform/MessageQueue.h"
#include "platform/win32/Native.h"

#include <windows.h>

namespace pelorin::platform {

using win32::ToHwnd;
namespace {

Msg FromNative(const MSG& m) {
    return Msg{reinterpret_cast<WindowHandle>(m.hwnd), m.message, m.wParam, m.lParam, m.time};
}

}  // namespace

// PostMessageA with no window posts to the calling thread, as PostThreadMessage would.
bool PostMsg(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    return PostMessageA(ToHwnd(window), message, wParam, lParam) != FALSE;
}

LResult SendMsg(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    return SendMessageA(ToHwnd(window), message, wParam, lParam);
}

bool GetMsg(Msg& out) {
    MSG m{};
    // -1 (an error) can only come from a bad window filter, and there is none here.
    const BOOL result = GetMessageA(&m, nullptr, 0, 0);
    out = FromNative(m);
    return result > 0;
}

bool PeekMsg(Msg& out, bool remove) {
    MSG m{};
    if (!PeekMessageA(&m, nullptr, 0, 0, remove ? PM_REMOVE : PM_NOREMOVE)) return false;
    out = FromNative(m);
    return true;
}

// A timer message without a window carries its callback in lParam, and DispatchMessageA
// calls it; the message is rebuilt field by field because that lParam must reach it as is.
LResult DispatchMsg(const Msg& msg) {
    MSG m{};
    m.hwnd = ToHwnd(msg.window);
    m.message = msg.message;
    m.wParam = msg.wParam;
    m.lParam = msg.lParam;
    m.time = msg.time;
    TranslateMessage(&m);
    return DispatchMessageA(&m);
}

void WaitMsg() {
    WaitMessage();
}

void PostQuit(int exitCode) {
    PostQuitMessage(exitCode);
}

int RunMessageLoop() {
    Msg msg;
    while (GetMsg(msg)) DispatchMsg(msg);
    return static_cast<int>(msg.wParam);
}

}  // namespace pelorin::platform
