#include "platform/ProcessorTime.h"

#include <windows.h>

namespace pelorin::platform {
namespace {

std::uint64_t Hundreds(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

// GetProcessTimes counts in units of 100 nanoseconds.
std::uint64_t ProcessorTimeMicroseconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return (Hundreds(kernel) + Hundreds(user)) / 10u;
}

}  // namespace pelorin::platform
