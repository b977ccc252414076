// Timer objects: start and stop rules, skipped ticks, the error path and lifetime.
#include "net/ATimer.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/RuntimeError.h"
#include "net/Timer_Modul.h"
#include "testing/RecordingHooks.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::PumpFor;
using testing::PumpUntil;

// An owner whose Timer handler is whatever the test says.
class Owner : public ATimerEvents {
  public:
    std::function<void(ATimer&)> onTimer = [](ATimer&) {};
    int ticks = 0;
    void Timer(ATimer& sender) override {
        ++ticks;
        onTimer(sender);
    }
};

class ATimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::ResetHooks();
        Timer_Modul::InitTimerModule();
    }
};

std::shared_ptr<ATimer> MakeTimer(Owner& owner, std::int32_t delay) {
    auto timer = ATimer::Create();
    timer->SetEvents(&owner);
    timer->Delay = delay;
    return timer;
}

TEST_F(ATimerTest, StartingTwiceStartsOneTimerAndStoppingAStoppedTimerDoesNothing) {
    Owner owner;
    auto timer = MakeTimer(owner, 20);
    EXPECT_FALSE(timer->GetStatus());
    timer->StoppTimer();
    timer->StartTimer();
    EXPECT_TRUE(timer->GetStatus());
    timer->StartTimer();
    EXPECT_EQ(Timer_Modul::RegisteredTimerCount(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return owner.ticks >= 2; }));
    timer->StoppTimer();
    EXPECT_FALSE(timer->GetStatus());
    EXPECT_EQ(Timer_Modul::RegisteredTimerCount(), 0u);
}

TEST_F(ATimerTest, ANewDelayCountsOnlyFromTheNextStart) {
    Owner owner;
    auto timer = MakeTimer(owner, 20);
    timer->StartTimer();
    timer->Delay = 5000;
    ASSERT_TRUE(PumpUntil([&] { return owner.ticks >= 3; }, 2000));
    timer->StoppTimer();
    timer->StartTimer();
    owner.ticks = 0;
    PumpFor(150);
    EXPECT_EQ(owner.ticks, 0);
    timer->StoppTimer();
}

TEST_F(ATimerTest, AHandlerThatWaitsGetsNoNestedTickOfItsOwnTimer) {
    Owner slow, other;
    auto slowTimer = MakeTimer(slow, 15);
    auto otherTimer = MakeTimer(other, 15);
    int nested = 0;
    int otherDuringWait = 0;
    slow.onTimer = [&](ATimer&) {
        if (slow.ticks > 1) {
            ++nested;
            return;
        }
        // Waits several periods while letting messages run.
        const int before = other.ticks;
        PumpUntil([&] { return other.ticks - before >= 2; }, 3000);
        otherDuringWait = other.ticks - before;
    };
    slowTimer->StartTimer();
    otherTimer->StartTimer();
    ASSERT_TRUE(PumpUntil([&] { return slow.ticks >= 1 && otherDuringWait > 0; }, 3000));
    EXPECT_EQ(nested, 0);
    EXPECT_GE(otherDuringWait, 2);  // other timers go on ticking meanwhile
    EXPECT_EQ(Timer_Modul::BusyList(), "|");
    slowTimer->StoppTimer();
    otherTimer->StoppTimer();
}

TEST_F(ATimerTest, ATimerBusyInItsHandlerDoesNotBlockAnother) {
    Owner a, b;
    auto timerA = MakeTimer(a, 10000);
    auto timerB = MakeTimer(b, 10000);
    timerA->StartTimer();
    timerB->StartTimer();
    // Ticks delivered by hand, nested the way a waiting handler would see them.
    const std::uintptr_t idA = timerA->TimerId();
    const std::uintptr_t idB = timerB->TimerId();
    a.onTimer = [&](ATimer&) {
        Timer_Modul::TimerProc(0, platform::kWmTimer, idA, 0);  // skipped: A is busy
        Timer_Modul::TimerProc(0, platform::kWmTimer, idB, 0);  // raised
    };
    b.onTimer = [&](ATimer&) {
        EXPECT_EQ(Timer_Modul::BusyList(), "|" + std::to_string(std::min(idA, idB)) + "|" +
                                               std::to_string(std::max(idA, idB)) + "|");
    };
    a.ticks = b.ticks = 0;
    Timer_Modul::TimerProc(0, platform::kWmTimer, idA, 0);
    EXPECT_EQ(a.ticks, 1);
    EXPECT_EQ(b.ticks, 1);
    EXPECT_EQ(Timer_Modul::BusyList(), "|");
    timerA->StoppTimer();
    timerB->StoppTimer();
}

TEST_F(ATimerTest, AnErrorInTheHandlerEndsTheTicksButNotTheRegistration) {
    Owner owner;
    auto timer = MakeTimer(owner, 15);
    owner.onTimer = [](ATimer&) { throw RuntimeError(errors::kSubscriptOutOfRange); };
    timer->StartTimer();
    ASSERT_TRUE(PumpUntil([&] { return owner.ticks >= 1; }));
    PumpFor(100);
    EXPECT_EQ(owner.ticks, 1);
    ASSERT_EQ(testing::Hooks().logLines.size(), 1u);
    EXPECT_EQ(testing::Hooks().logLines[0], "TimerProc Error 9");
    EXPECT_TRUE(timer->GetStatus());
    EXPECT_EQ(Timer_Modul::RegisteredTimerCount(), 1u);
    EXPECT_EQ(Timer_Modul::BusyList(), "|");
    timer->StoppTimer();
    EXPECT_EQ(Timer_Modul::RegisteredTimerCount(), 0u);
}

TEST_F(ATimerTest, ARunningTimerOutlivesItsOwnersReferenceUntilStopped) {
    Owner owner;
    std::weak_ptr<ATimer> watch;
    {
        auto timer = MakeTimer(owner, 15);
        watch = timer;
        timer->StartTimer();
    }
    ASSERT_FALSE(watch.expired());
    ASSERT_TRUE(PumpUntil([&] { return owner.ticks >= 2; }));
    owner.onTimer = [](ATimer& self) { self.StoppTimer(); };  // stops itself while raising
    ASSERT_TRUE(PumpUntil([&] { return watch.expired(); }));
    EXPECT_EQ(testing::Hooks().liveObjects["ATimer"], 0);
}

TEST_F(ATimerTest, EachTickIsTimedAsAnEvent) {
    Owner owner;
    auto timer = MakeTimer(owner, 15);
    timer->StartTimer();
    ASSERT_TRUE(PumpUntil([&] { return owner.ticks >= 1; }));
    timer->StoppTimer();
    const auto& p = testing::Hooks().procedures;
    ASSERT_GE(p.size(), 2u);
    EXPECT_EQ(p[0], "+Event ATimer_Timer");
    EXPECT_EQ(p[1], "-Event ATimer_Timer");
}

}  // namespace
}  // namespace pelorin
