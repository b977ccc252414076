#include "platform/Timers.h"
#include "platform/win32/Native.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <utility>

namespace pelorin::platform {

using win32::ToHwnd;
namespace {

// The neutral procedure of each callback timer, by the thread that set it and the id the
// system gave it. The system calls TimerThunk, of its own calling convention, which calls
// it. Not a thread_local table: with mingw-w64's emulated thread-local storage the
// table's destructor at a thread's exit corrupted the heap (32-bit). A timer left behind
// by a thread that ended keeps its entry, which a later timer of the same thread id and
// timer id replaces.
class CallbackTimers {
  public:
    void Set(UINT_PTR id, TimerProc proc) {
        const std::lock_guard<std::mutex> lock(mutex_);
        procs_[{GetCurrentThreadId(), id}] = proc;
    }
    void Forget(UINT_PTR id) {
        const std::lock_guard<std::mutex> lock(mutex_);
        procs_.erase({GetCurrentThreadId(), id});
    }
    TimerProc Find(UINT_PTR id) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = procs_.find({GetCurrentThreadId(), id});
        return found != procs_.end() ? found->second : nullptr;
    }

  private:
    std::mutex mutex_;
    std::map<std::pair<DWORD, UINT_PTR>, TimerProc> procs_;
};

CallbackTimers& Callbacks() {
    static CallbackTimers timers;
    return timers;
}

VOID CALLBACK TimerThunk(HWND, UINT message, UINT_PTR id, DWORD time) {
    // Copied out of the table: the procedure may kill its own timer or set others.
    const TimerProc proc = Callbacks().Find(id);
    if (proc != nullptr) proc(0, message, id, time);  // nullptr: killed on the way
}

}  // namespace

// SetTimer answers 0 only on failure (a window of another thread, or none at all).
bool SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) {
    if (window == 0) return false;  // SetTimer would make a thread timer instead
    return SetTimer(ToHwnd(window), id, periodMs, nullptr) != 0;
}

bool KillWindowTimer(WindowHandle window, std::uintptr_t id) {
    if (window == 0) return false;  // KillTimer would hit a callback timer with that id
    return KillTimer(ToHwnd(window), id) != FALSE;
}

std::uintptr_t SetCallbackTimer(std::uint32_t periodMs, TimerProc proc) {
    if (proc == nullptr) return 0;  // SetTimer would make a timer nobody handles
    const UINT_PTR id = SetTimer(nullptr, 0, periodMs, TimerThunk);
    if (id != 0) Callbacks().Set(id, proc);
    return id;
}

bool KillCallbackTimer(std::uintptr_t id) {
    Callbacks().Forget(id);
    return KillTimer(nullptr, id) != FALSE;
}

}  // namespace pelorin::platform
