// Runs the calling thread's message loop in tests, always with a time limit.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Types.h"

namespace pelorin::testing {

// Dispatches messages until `done` is true or `timeoutMs` passed; true when done.
bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs = 5000);

// Dispatches whatever arrives during `ms` milliseconds.
void PumpFor(std::uint32_t ms);

// Dispatches what is queued now, without waiting.
void DrainQueue();

}  // namespace pelorin::testing
