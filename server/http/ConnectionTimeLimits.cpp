#include "server/http/ConnectionTimeLimits.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace pelorin {
namespace {

// Set from the thread of the tests or the start routine, read on the server's thread.
std::atomic<std::uint32_t> gHeadMs{kHeadTimeLimitMs};
std::atomic<std::uint32_t> gBodyMs{kBodyTimeLimitMs};
std::atomic<std::uint32_t> gAnswerMs{kAnswerTimeLimitMs};

constexpr std::uint32_t kLongestCheckPeriodMs = 1000;
constexpr std::uint32_t kShortestCheckPeriodMs = 10;

// Within what the millisecond clock can tell apart (ElapsedMs reads a span signed).
std::uint32_t Bounded(std::uint32_t ms) {
    return std::clamp<std::uint32_t>(ms, 1, INT32_MAX);
}

}  // namespace

void SetConnectionTimeLimits(const ConnectionTimeLimits& limits) {
    gHeadMs = Bounded(limits.headMs);
    gBodyMs = Bounded(limits.bodyMs);
    gAnswerMs = Bounded(limits.answerMs);
}

ConnectionTimeLimits CurrentConnectionTimeLimits() {
    return ConnectionTimeLimits{gHeadMs, gBodyMs, gAnswerMs};
}

std::uint32_t TimeLimitCheckPeriodMs(const ConnectionTimeLimits& limits) {
    const std::uint32_t shortest = std::min({limits.headMs, limits.bodyMs, limits.answerMs});
    return std::clamp<std::uint32_t>(shortest / 4, kShortestCheckPeriodMs, kLongestCheckPeriodMs);
}

}  // namespace pelorin
