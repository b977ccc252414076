#include "platform/Timers.h"

#include <algorithm>
#include <atomic>

#include "platform/posix/ThreadQueue.h"
#include "platform/posix/WindowRegistry.h"

namespace pelorin::platform {

using posix::ThreadQueue;

namespace {

// Callback timer ids are unique in the process, so a kill from the wrong thread can
// never hit another thread's timer.
std::atomic<std::uintptr_t> gNextCallbackId{0};

// Windows treats periods below 10 ms as 10 ms; a period of 0 would otherwise spin.
std::uint64_t Period(std::uint32_t periodMs) {
    return std::max<std::uint32_t>(periodMs, 10);
}

}  // namespace

bool SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) {
    auto owner = posix::WindowRegistry::Instance().OwnerOf(window);
    if (!owner || !owner->IsCurrentThread()) return false;
    ThreadQueue::Current().SetTimer(window, id, Period(periodMs), nullptr);
    return true;
}

bool KillWindowTimer(WindowHandle window, std::uintptr_t id) {
    if (window == 0) return false;
    return ThreadQueue::Current().KillTimer(window, id);
}

std::uintptr_t SetCallbackTimer(std::uint32_t periodMs, TimerProc proc) {
    if (proc == nullptr) return 0;
    const std::uintptr_t id = ++gNextCallbackId;
    ThreadQueue::Current().SetTimer(0, id, Period(periodMs), proc);
    return id;
}

bool KillCallbackTimer(std::uintptr_t id) {
    return ThreadQueue::Current().KillTimer(0, id);
}

}  // namespace pelorin::platform
