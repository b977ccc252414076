#include "platform/tests/TestLoop.h"

#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/Timers.h"

namespace pelorin::testing {
namespace {

void Heartbeat(platform::WindowHandle, platform::MessageId, std::uintptr_t, std::uint32_t) {}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
    // The heartbeat wakes WaitMsg now and then, so the time limit is seen even when
    // nothing else arrives.
    const std::uintptr_t heartbeat = platform::SetCallbackTimer(20, Heartbeat);
    const std::uint32_t start = platform::TickCount();
    platform::Msg msg;
    bool result = done();
    while (!result && static_cast<std::uint32_t>(
                          platform::ElapsedMs(start, platform::TickCount())) < timeoutMs) {
        if (platform::PeekMsg(msg)) {
            platform::DispatchMsg(msg);
        } else {
            platform::WaitMsg();
        }
        result = done();
    }
    platform::KillCallbackTimer(heartbeat);
    return result;
}

void PumpFor(std::uint32_t ms) {
    const std::uint32_t start = platform::TickCount();
    PumpUntil(
        [&] {
            return static_cast<std::uint32_t>(platform::ElapsedMs(start, platform::TickCount())) >=
                   ms;
        },
        ms + 1000);
}

void DrainQueue() {
    platform::Msg msg;
    while (platform::PeekMsg(msg)) platform::DispatchMsg(msg);
}

}  // namespace pelorin::testing
