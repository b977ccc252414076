#include "platform/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace pelorin::platform {
namespace {

std::atomic<int> gMade{0};
std::atomic<int> gFreed{0};

struct Counted {
    int uses = 0;
    Counted() { ++gMade; }
    ~Counted() { ++gFreed; }
};

// Rounds of threads that take their state and end, as a host's pool does: each thread's
// state is its own and is freed by the time the thread has been joined.
TEST(ThreadState, OneStatePerThreadFreedWhenTheThreadEnds) {
    constexpr int kRounds = 3;
    constexpr int kThreads = 8;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([] {
                ++ThreadState<Counted>().uses;
                ++ThreadState<Counted>().uses;
                EXPECT_EQ(ThreadState<Counted>().uses, 2);
            });
        }
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(gFreed.load(), (round + 1) * kThreads) << "round " << round;
    }
    EXPECT_EQ(gMade.load(), kRounds * kThreads);
}

}  // namespace
}  // namespace pelorin::platform
