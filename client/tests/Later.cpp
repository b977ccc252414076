#include "client/tests/Later.h"

#include <map>

#include "platform/Timers.h"

namespace pelorin::testing {

struct Later::State {
    std::uintptr_t timer = 0;
    std::function<void()> action;
    bool ran = false;
};

namespace {

// Actions by timer id; all on the test's thread.
std::map<std::uintptr_t, std::shared_ptr<Later::State>>& Pending() {
    thread_local std::map<std::uintptr_t, std::shared_ptr<Later::State>> pending;
    return pending;
}

void Tick(platform::WindowHandle, platform::MessageId, std::uintptr_t id, std::uint32_t) {
    const auto it = Pending().find(id);
    platform::KillCallbackTimer(id);
    if (it == Pending().end()) return;
    const std::shared_ptr<Later::State> state = it->second;
    Pending().erase(it);
    state->ran = true;
    state->action();
}

}  // namespace

Later::Later(std::uint32_t delayMs, std::function<void()> action)
    : state_(std::make_shared<State>()) {
    state_->action = std::move(action);
    state_->timer = platform::SetCallbackTimer(delayMs, Tick);
    Pending()[state_->timer] = state_;
}

Later::~Later() {
    if (Pending().erase(state_->timer) != 0) platform::KillCallbackTimer(state_->timer);
}

bool Later::ran() const {
    return state_->ran;
}

}  // namespace pelorin::testing
