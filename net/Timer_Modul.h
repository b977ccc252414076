// The registry of running timers and the system callback that turns ticks into Timer
// events. Its state exists once per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Types.h"

namespace pelorin {

class ATimer;

namespace Timer_Modul {

// Start-up reset: no timer counts as busy any more.
void InitTimerModule();

// Starts a system timer for `timer` and registers it; returns the timer id (0 on failure).
std::uintptr_t AddTimer(const std::shared_ptr<ATimer>& timer, std::int32_t delay,
                        std::int32_t resolution);
// Stops the system timer and forgets it.
void RemoveTimer(std::uintptr_t id);

// The system's callback for every tick. A tick is skipped while the previous Timer event
// of the same timer has not returned; an error in the handler stops the system timer.
void TimerProc(platform::WindowHandle window, platform::MessageId message, std::uintptr_t id,
               std::uint32_t time);

// The ids whose Timer event is being raised now, as "|12|40|".
std::string BusyList();
std::size_t RegisteredTimerCount();

}  // namespace Timer_Modul
}  // namespace pelorin
