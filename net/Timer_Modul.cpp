#include "net/Timer_Modul.h"

#include <exception>
#include <map>
#include <set>
#include <string>

#include "base/RuntimeError.h"
#include "diagnostics/Hooks.h"
#include "net/ATimer.h"
#include "platform/ThreadState.h"
#include "platform/Timers.h"

namespace pelorin::Timer_Modul {
namespace {

struct ModuleState {
    // Counted references: a running timer lives until RemoveTimer.
    std::map<std::uintptr_t, std::shared_ptr<ATimer>> timers;
    // Timers whose event is being raised; matched as whole ids.
    std::set<std::uintptr_t> busy;
};

ModuleState& State() {
    return platform::ThreadState<ModuleState>();
}

int ErrorNumberOf(const std::exception& e) {
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&e)) return runtime->number();
    return errors::kInvalidProcedureCall;
}

// Raises the event of the timer registered under `id`; throws when there is none.
void RaiseFor(std::uintptr_t id) {
    auto it = State().timers.find(id);
    if (it == State().timers.end()) throw RuntimeError(errors::kInvalidProcedureCall);
    const std::shared_ptr<ATimer> timer = it->second;  // alive until the raise returns
    timer->RaiseEvent_Timer();
}

}  // namespace

void InitTimerModule() {
    State().busy.clear();
}

std::uintptr_t AddTimer(const std::shared_ptr<ATimer>& timer, std::int32_t delay,
                        std::int32_t /*resolution*/) {
    const auto period = static_cast<std::uint32_t>(delay < 0 ? 0 : delay);
    const std::uintptr_t id = platform::SetCallbackTimer(period, TimerProc);
    if (id != 0) State().timers[id] = timer;
    return id;
}

void RemoveTimer(std::uintptr_t id) {
    platform::KillCallbackTimer(id);
    State().timers.erase(id);
}

void TimerProc(platform::WindowHandle, platform::MessageId, std::uintptr_t id, std::uint32_t) {
    auto& busy = State().busy;
    if (busy.contains(id)) return;
    busy.insert(id);
    try {
        RaiseFor(id);
        busy.erase(id);
    } catch (const std::exception& e) {
        // The timer ends here, but stays registered: GetStatus still answers true and a
        // later StoppTimer still removes it.
        busy.erase(id);
        WriteLog([&] { return "TimerProc Error " + std::to_string(ErrorNumberOf(e)); });
        platform::KillCallbackTimer(id);
    }
}

std::string BusyList() {
    std::string list = "|";
    for (auto id : State().busy) list += std::to_string(id) + "|";
    return list;
}

std::size_t RegisteredTimerCount() {
    return State().timers.size();
}

}  // namespace pelorin::Timer_Modul
