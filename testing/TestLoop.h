// Runs the calling thread's message loop in tests, always with a time limit.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Types.h"

namespace pelorin::testing {

// How many times slower than usual this run goes: PELORIN_TEST_TIME_SCALE (a whole number,
// set when the tests run under a memory checker), 1 when it is not set.
std::uint32_t TimeScale();

// `ms` stretched by TimeScale(), for what a slowed-down run cannot keep: limits that say
// when to give up waiting, and a period that must outlast the test's own work.
std::uint32_t ScaledMs(std::uint32_t ms);

// Dispatches messages until `done` is true or `timeoutMs` (scaled) passed; true when done.
bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs = 5000);

// Asks `done` every 20 ms for up to 10 s (scaled) without dispatching anything: for what
// another process or thread does where no event tells of it (a port that starts to
// listen, a file that appears). True when done.
bool PollUntil(const std::function<bool()>& done);

// Dispatches whatever arrives during `ms` milliseconds.
void PumpFor(std::uint32_t ms);

// Dispatches what is queued now, without waiting.
void DrainQueue();

}  // namespace pelorin::testing
