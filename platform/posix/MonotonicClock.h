// The Linux backend's own clock: milliseconds that never wrap, for timer schedules. The
// 32-bit TickCount of Clock.h is its low half, unless a test replaced that.
#pragma once

#include <cstdint>

namespace pelorin::platform::posix {

std::uint64_t MonotonicMs();

}  // namespace pelorin::platform::posix
