// Window timers and callback timers.
#include "platform/Timers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/Window.h"
#include "testing/TestLoop.h"

namespace pelorin::platform {
namespace {

using testing::PumpFor;
using testing::PumpUntil;

std::vector<WParam> gWindowTicks;
LResult TickRecorder(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    if (message == kWmTimer) {
        gWindowTicks.push_back(wParam);
        return 0;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

TEST(Timers, WindowTimerTicksWithItsIdUntilKilled) {
    gWindowTicks.clear();
    const WindowHandle w = CreateHiddenWindow("timer");
    ReplaceWindowProc(w, TickRecorder);
    const std::uint32_t start = TickCount();
    ASSERT_TRUE(SetWindowTimer(w, 77, 30));
    ASSERT_TRUE(PumpUntil([] { return gWindowTicks.size() >= 3; }, 3000));
    // Never faster than the period (a little slack for the clock's granularity).
    EXPECT_GE(ElapsedMs(start, TickCount()), 3 * 30 - 10);
    for (WParam id : gWindowTicks) EXPECT_EQ(id, 77u);
    ASSERT_TRUE(KillWindowTimer(w, 77));
    const std::size_t before = gWindowTicks.size();
    PumpFor(120);
    EXPECT_EQ(gWindowTicks.size(), before);
    DestroyWin(w);
}

TEST(Timers, DestroyingTheWindowStopsItsTimers) {
    gWindowTicks.clear();
    const WindowHandle w = CreateHiddenWindow("timer");
    ReplaceWindowProc(w, TickRecorder);
    ASSERT_TRUE(SetWindowTimer(w, 1, 20));
    DestroyWin(w);
    PumpFor(100);
    EXPECT_TRUE(gWindowTicks.empty());
}

struct CallbackLog {
    std::vector<std::uintptr_t> ids;
    std::vector<std::thread::id> threads;
};
CallbackLog gCallbacks;
void RecordCallback(WindowHandle window, MessageId message, std::uintptr_t id, std::uint32_t) {
    EXPECT_EQ(window, 0);
    EXPECT_EQ(message, kWmTimer);
    gCallbacks.ids.push_back(id);
    gCallbacks.threads.push_back(std::this_thread::get_id());
}

TEST(Timers, CallbackTimersGetDistinctIdsAndRunOnTheCreatingThread) {
    gCallbacks = {};
    const std::uintptr_t a = SetCallbackTimer(25, RecordCallback);
    const std::uintptr_t b = SetCallbackTimer(25, RecordCallback);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    ASSERT_TRUE(PumpUntil(
        [&] {
            int ofA = 0, ofB = 0;
            for (auto id : gCallbacks.ids) (id == a ? ofA : ofB) += 1;
            return ofA >= 2 && ofB >= 2;
        },
        3000));
    for (auto t : gCallbacks.threads) EXPECT_EQ(t, std::this_thread::get_id());
    EXPECT_TRUE(KillCallbackTimer(a));
    EXPECT_TRUE(KillCallbackTimer(b));
    gCallbacks = {};
    PumpFor(100);
    EXPECT_TRUE(gCallbacks.ids.empty());
}

TEST(Timers, ElapsedPeriodsWhileBusyGiveOneTickNotABacklog) {
    gCallbacks = {};
    // The period is stretched with a slowed-down run: draining must take less than one.
    const std::uint32_t periodMs = testing::ScaledMs(20);
    const std::uintptr_t id = SetCallbackTimer(periodMs, RecordCallback);
    // Busy for ten periods without looking at the queue.
    std::this_thread::sleep_for(std::chrono::milliseconds(10 * periodMs));
    testing::DrainQueue();
    EXPECT_EQ(gCallbacks.ids.size(), 1u);
    KillCallbackTimer(id);
}

TEST(Timers, TicksAreNeverDeliveredToAnotherThread) {
    std::atomic<std::uintptr_t> otherId{0};
    std::atomic<int> otherTicks{0};
    std::atomic<bool> stop{false};
    std::thread other([&] {
        gCallbacks = {};
        otherId = SetCallbackTimer(15, RecordCallback);
        PumpUntil(
            [&] {
                otherTicks = static_cast<int>(gCallbacks.ids.size());
                return stop.load();
            },
            20000);
        otherTicks = static_cast<int>(gCallbacks.ids.size());
        KillCallbackTimer(otherId);
    });
    while (otherId.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // This thread's loop sees none of the other thread's ticks.
    int seenHere = 0;
    const std::uint32_t start = TickCount();
    Msg msg;
    while (otherTicks.load() < 2 &&
           static_cast<std::uint32_t>(ElapsedMs(start, TickCount())) < testing::ScaledMs(5000)) {
        while (PeekMsg(msg)) {
            if (msg.message == kWmTimer && msg.wParam == otherId.load()) ++seenHere;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop = true;
    other.join();
    EXPECT_EQ(seenHere, 0);
    EXPECT_GE(otherTicks.load(), 2);
}

}  // namespace
}  // namespace pelorin::platform
