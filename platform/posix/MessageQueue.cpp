#include "platform/MessageQueue.h"

#include "platform/Clock.h"
#include "platform/posix/ThreadQueue.h"
#include "platform/posix/WindowRegistry.h"

namespace pelorin::platform {

using posix::ThreadQueue;
using posix::WindowRegistry;

bool PostMsg(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    const Msg msg{window, message, wParam, lParam, TickCount()};
    if (window == 0) {
        ThreadQueue::Current().Post(msg);
        return true;
    }
    auto owner = WindowRegistry::Instance().OwnerOf(window);
    if (!owner) return false;
    owner->Post(msg);
    return true;
}

LResult SendMsg(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    auto owner = WindowRegistry::Instance().OwnerOf(window);
    if (!owner) return 0;
    const Msg msg{window, message, wParam, lParam, TickCount()};
    if (owner->IsCurrentThread()) return DispatchMsg(msg);
    return owner->SendFromOtherThread(msg);
}

bool GetMsg(Msg& out) {
    ThreadQueue::Current().Get(out, true, true);
    return out.message != kWmQuit;
}

bool PeekMsg(Msg& out, bool remove) {
    return ThreadQueue::Current().Get(out, false, remove);
}

LResult DispatchMsg(const Msg& msg) {
    if (msg.message == kWmTimer && msg.lParam != 0) {
        auto proc = reinterpret_cast<TimerProc>(msg.lParam);
        proc(msg.window, msg.message, msg.wParam, msg.time);
        return 0;
    }
    if (msg.window == 0) return 0;
    WindowProc proc = WindowRegistry::Instance().ProcOf(msg.window);
    if (proc == nullptr) return 0;
    return proc(msg.window, msg.message, msg.wParam, msg.lParam);
}

void WaitMsg() {
    ThreadQueue::Current().Wait();
}

void PostQuit(int exitCode) {
    ThreadQueue::Current().RequestQuit(exitCode);
}

int RunMessageLoop() {
    Msg msg;
    while (GetMsg(msg)) DispatchMsg(msg);
    return static_cast<int>(msg.wParam);
}

}  // namespace pelorin::platform
