#include "platform/Clock.h"

#include <atomic>
#include <ctime>

namespace pelorin::platform {
namespace {
std::atomic<TickSource> gSource{nullptr};
}

std::uint32_t TickCount() {
    if (TickSource source = gSource.load()) return source();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);  // wraps like the Windows counter
}

void SetTickSourceForTests(TickSource source) {
    gSource.store(source);
}

}  // namespace pelorin::platform
