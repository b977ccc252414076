// The millisecond clock: a 32-bit counter that wraps about every 49.7 days.
#pragma once

#include <cstdint>

namespace pelorin::platform {

std::uint32_t TickCount();

// Milliseconds from `start` to `now`, correct across the wrap (modulo 2^32, read signed).
constexpr std::int32_t ElapsedMs(std::uint32_t start, std::uint32_t now) {
    return static_cast<std::int32_t>(now - start);
}

// Tests replace the clock with their own source; nullptr gives the system clock back.
using TickSource = std::uint32_t (*)();
void SetTickSourceForTests(TickSource source);

}  // namespace pelorin::platform
