#include "platform/Clock.h"

#include <atomic>
#include <ctime>

#include "platform/posix/MonotonicClock.h"

namespace pelorin::platform {
namespace {
std::atomic<TickSource> gSource{nullptr};
}

namespace posix {

std::uint64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace posix

std::uint32_t TickCount() {
    if (TickSource source = gSource.load()) return source();
    return static_cast<std::uint32_t>(posix::MonotonicMs());  // wraps like the Windows counter
}

void SetTickSourceForTests(TickSource source) {
    gSource.store(source);
}

}  // namespace pelorin::platform
