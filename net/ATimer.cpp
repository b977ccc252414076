#include "net/ATimer.h"

#include "net/Timer_Modul.h"

namespace pelorin {

std::shared_ptr<ATimer> ATimer::Create() {
    return std::shared_ptr<ATimer>(new ATimer);
}

void ATimer::RaiseEvent_Timer() {
    ProzessScope scope("Event ATimer_Timer");
    if (events_ != nullptr) events_->Timer(*this);
}

void ATimer::StartTimer() {
    if (timerId_ != 0) return;
    timerId_ = Timer_Modul::AddTimer(shared_from_this(), Delay, Resolution);
}

void ATimer::StoppTimer() {
    if (timerId_ == 0) return;
    Timer_Modul::RemoveTimer(timerId_);
    timerId_ = 0;
}

}  // namespace pelorin
