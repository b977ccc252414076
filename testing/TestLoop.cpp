#include "testing/TestLoop.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/Timers.h"

namespace pelorin::testing {
namespace {

void Heartbeat(platform::WindowHandle, platform::MessageId, std::uintptr_t, std::uint32_t) {}

// Far beyond any limit a test uses, and with room for the elapsed-time arithmetic.
constexpr std::uint64_t kLongestLimitMs = 0x3fffffff;

std::uint32_t ReadTimeScale() {
    const char* text = std::getenv("PELORIN_TEST_TIME_SCALE");
    if (text == nullptr) return 1;
    try {
        const unsigned long value = std::stoul(text);
        return value >= 1 && value <= 1000 ? static_cast<std::uint32_t>(value) : 1;
    } catch (const std::exception&) {
        return 1;
    }
}

}  // namespace

std::uint32_t TimeScale() {
    static const std::uint32_t scale = ReadTimeScale();
    return scale;
}

std::uint32_t ScaledMs(std::uint32_t ms) {
    const std::uint64_t scaled = std::uint64_t{ms} * TimeScale();
    return static_cast<std::uint32_t>(scaled < kLongestLimitMs ? scaled : kLongestLimitMs);
}

bool PollUntil(const std::function<bool()>& done) {
    for (std::uint32_t i = 0; i < 500 * TimeScale(); ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
    const std::uint32_t limitMs = ScaledMs(timeoutMs);
    // The heartbeat wakes WaitMsg now and then, so the time limit is seen even when
    // nothing else arrives.
    const std::uintptr_t heartbeat = platform::SetCallbackTimer(20, Heartbeat);
    const std::uint32_t start = platform::TickCount();
    platform::Msg msg;
    bool result = done();
    while (!result && static_cast<std::uint32_t>(
                          platform::ElapsedMs(start, platform::TickCount())) < limitMs) {
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
