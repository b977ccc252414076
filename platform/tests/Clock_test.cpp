// The millisecond clock: differences across the 32-bit wrap, and the source tests replace.
#include "platform/Clock.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace pelorin {
namespace {

TEST(Clock, ElapsedTimeIsCorrectAcrossTheWrap) {
    EXPECT_EQ(platform::ElapsedMs(0xFFFFFFF0u, 0x10u), 0x20);
    EXPECT_EQ(platform::ElapsedMs(100u, 90u), -10);
    const std::uint32_t a = platform::TickCount();
    const std::uint32_t b = platform::TickCount();
    EXPECT_GE(platform::ElapsedMs(a, b), 0);
}

std::uint32_t FixedTick() {
    return 0xFFFFFFFFu;
}

TEST(Clock, TestsCanReplaceTheSource) {
    platform::SetTickSourceForTests(FixedTick);
    EXPECT_EQ(platform::TickCount(), 0xFFFFFFFFu);
    platform::SetTickSourceForTests(nullptr);
    EXPECT_NE(platform::TickCount(), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace pelorin
