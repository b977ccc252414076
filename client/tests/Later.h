// Runs an action once from the calling thread's message loop after a delay: the way a
// caller's own timer runs while a store method waits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace pelorin::testing {

class Later {
  public:
    Later(std::uint32_t delayMs, std::function<void()> action);
    ~Later();  // an action that has not run yet never runs
    Later(const Later&) = delete;
    Later& operator=(const Later&) = delete;

    bool ran() const;

    struct State;  // shared with the timer callback

  private:
    std::shared_ptr<State> state_;
};

}  // namespace pelorin::testing
