// A periodic timer that raises Timer on its owner's thread. While running, the timer
// registry keeps it alive even when its owner lets go of it, so owners stop their timers
// before they drop them.
#pragma once

#include <cstdint>
#include <memory>

#include "diagnostics/ObjectTrace.h"

namespace pelorin {

class ATimer;

// The owner's side of a timer.
class ATimerEvents {
  public:
    virtual ~ATimerEvents() = default;
    virtual void Timer(ATimer& sender) = 0;
};

class ATimer : public std::enable_shared_from_this<ATimer> {
  public:
    static std::shared_ptr<ATimer> Create();
    ATimer(const ATimer&) = delete;
    ATimer& operator=(const ATimer&) = delete;

    // The owner that receives Timer; nullptr detaches it (owners do so when they go).
    void SetEvents(ATimerEvents* events) { events_ = events; }

    // Period in milliseconds, read when the timer starts.
    std::int32_t Delay = 0;
    // Handed to the timer module when the timer starts; it has no effect on timing.
    std::int32_t Resolution = 0;

    // Raises Timer to the owner; called by the timer module for each tick.
    void RaiseEvent_Timer();
    // Starts the timer unless it is running (a running timer keeps its period).
    void StartTimer();
    void StoppTimer();
    bool GetStatus() const { return timerId_ != 0; }
    // The system timer id while running, 0 when stopped.
    std::uintptr_t TimerId() const { return timerId_; }

  private:
    ATimer() = default;

    ObjectTrace trace_{"ATimer"};
    std::uintptr_t timerId_ = 0;  // 0 = stopped
    ATimerEvents* events_ = nullptr;
};

}  // namespace pelorin
