// The console control handler runs on a thread of its own; posting is safe from there.
#include "platform/StopRequests.h"

#include <windows.h>

#include <atomic>

#include "platform/MessageQueue.h"

namespace pelorin::platform {
namespace {

std::atomic<WindowHandle> gTarget{0};

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            PostMsg(gTarget.load(), kWmClose, 0, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool WatchStopRequests(WindowHandle window) {
    static const bool watching = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
    gTarget.store(window);
    return watching;
}

}  // namespace pelorin::platform
