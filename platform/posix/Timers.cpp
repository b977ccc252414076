#include "platform/Timers.h"

#include <algorithm>
#include <atomic>

#include "platform/posix/ThreadQueue.h"
#include "platform/posix/WindowRegistry.h"

namespace pelorin::platform {

using posix::MonotonicMs;
using posix::ThreadQueue;
using posix::TimerEntry;

namespace {

// Callback timer ids are unique in the process, so a kill from the wrong thread can
// never hit another thread's timer.
std::atomic<std::uintptr_t> gNextCallbackId{0};

// Windows treats periods below 10 ms as 10 ms; a period of 0 would otherwise spin.
std::uint64_t Period(std::uint32_t periodMs) {
    return std::max<std::uint32_t>(periodMs, 10);
}

void Schedule(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs, TimerProc proc) {
    auto& timers = ThreadQueue::Current().timers();
    const std::uint64_t due = MonotonicMs() + Period(periodMs);
    for (auto& t : timers) {
        if (t.window == window && t.id == id) {
            t.periodMs = Period(periodMs);
            t.dueMs = due;
            t.proc = proc;
            return;
        }
    }
    timers.push_back(TimerEntry{window, id, proc, Period(periodMs), due});
}

bool Unschedule(WindowHandle window, std::uintptr_t id) {
    auto& timers = ThreadQueue::Current().timers();
    return std::erase_if(timers,
                         [&](const TimerEntry& t) { return t.window == window && t.id == id; }) > 0;
}

}  // namespace

bool SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) {
    auto owner = posix::WindowRegistry::Instance().OwnerOf(window);
    if (!owner || !owner->IsCurrentThread()) return false;
    Schedule(window, id, periodMs, nullptr);
    return true;
}

bool KillWindowTimer(WindowHandle window, std::uintptr_t id) {
    if (window == 0) return false;
    return Unschedule(window, id);
}

std::uintptr_t SetCallbackTimer(std::uint32_t periodMs, TimerProc proc) {
    if (proc == nullptr) return 0;
    const std::uintptr_t id = ++gNextCallbackId;
    Schedule(0, id, periodMs, proc);
    return id;
}

bool KillCallbackTimer(std::uintptr_t id) {
    return Unschedule(0, id);
}

}  // namespace pelorin::platform
