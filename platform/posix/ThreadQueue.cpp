#include "platform/posix/ThreadQueue.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/posix/MonotonicClock.h"
#include "platform/posix/WindowRegistry.h"

namespace pelorin::platform::posix {
namespace {

// epoll user data of the wake-up event. A socket's holds its descriptor in the low half,
// which is never all ones.
constexpr std::uint64_t kWakeTag = ~std::uint64_t{0};

// While posted messages keep coming, sockets are still looked at every so many messages,
// so that a busy queue cannot starve them.
constexpr unsigned kPostsBetweenSocketPolls = 32;

void DrainEventFd(int fd) {
    std::uint64_t count = 0;
    while (read(fd, &count, sizeof count) > 0) {
    }
}

thread_local std::shared_ptr<ThreadQueue> tCurrent;

}  // namespace

ThreadQueue::ThreadQueue() : owner_(std::this_thread::get_id()) {
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epollFd_ < 0 || wakeFd_ < 0) std::abort();  // no descriptors left: nothing can run
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeTag;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
}

ThreadQueue::~ThreadQueue() {
    // Senders waiting on this thread get 0, as for a window that went away.
    std::lock_guard lock(mutex_);
    for (auto& call : sent_) {
        call->done = true;
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = write(call->replyWakeFd, &one, sizeof one);
    }
    close(wakeFd_);
    close(epollFd_);
}

ThreadQueue& ThreadQueue::Current() {
    return *CurrentShared();
}

std::shared_ptr<ThreadQueue> ThreadQueue::CurrentShared() {
    if (!tCurrent) tCurrent = std::make_shared<ThreadQueue>();
    return tCurrent;
}

bool ThreadQueue::IsCurrentThread() const {
    return owner_ == std::this_thread::get_id();
}

void ThreadQueue::Wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(wakeFd_, &one, sizeof one);
}

void ThreadQueue::Post(const Msg& msg) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(msg);
    }
    if (!IsCurrentThread()) Wake();
}

LResult ThreadQueue::SendFromOtherThread(const Msg& msg) {
    ThreadQueue& self = Current();
    auto call = std::make_shared<SentCall>();
    call->msg = msg;
    call->replyWakeFd = self.wakeFd_;
    {
        std::lock_guard lock(mutex_);
        sent_.push_back(call);
    }
    Wake();
    // While waiting, messages sent to this thread are still answered (two threads that
    // send to each other must not block each other), as Windows does.
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (call->done) return call->result;
        }
        self.HandleSentCalls();
        pollfd pfd{self.wakeFd_, POLLIN, 0};
        poll(&pfd, 1, -1);
        // A post to this thread may have written the event too; the post itself stays
        // queued, so draining loses nothing.
        DrainEventFd(self.wakeFd_);
    }
}

bool ThreadQueue::HandleSentCalls() {
    bool any = false;
    for (;;) {
        std::shared_ptr<SentCall> call;
        {
            std::lock_guard lock(mutex_);
            if (sent_.empty()) return any;
            call = sent_.front();
            sent_.pop_front();
        }
        any = true;
        const LResult result = DispatchMsg(call->msg);
        {
            // The sender reads the answer under the lock of this queue.
            std::lock_guard lock(mutex_);
            call->result = result;
            call->done = true;
        }
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = write(call->replyWakeFd, &one, sizeof one);
    }
}

bool ThreadQueue::TakeReady(Msg& out, bool remove) {
    std::lock_guard lock(mutex_);
    if (posted_.empty()) return false;
    out = posted_.front();
    if (remove) posted_.pop_front();
    return true;
}

void ThreadQueue::SetTimer(WindowHandle window, std::uintptr_t id, std::uint64_t periodMs,
                           TimerProc proc) {
    const std::uint64_t due = MonotonicMs() + periodMs;
    for (auto& t : timers_) {
        if (t.window == window && t.id == id) {
            t.periodMs = periodMs;
            t.dueMs = due;
            t.proc = proc;
            return;
        }
    }
    timers_.push_back(TimerEntry{window, id, proc, periodMs, due});
}

bool ThreadQueue::KillTimer(WindowHandle window, std::uintptr_t id) {
    return std::erase_if(timers_,
                         [&](const TimerEntry& t) { return t.window == window && t.id == id; }) > 0;
}

void ThreadQueue::KillTimersOf(WindowHandle window) {
    std::erase_if(timers_, [window](const TimerEntry& t) { return t.window == window; });
}

int ThreadQueue::MillisecondsToNextTimer() const {
    if (timers_.empty()) return -1;
    const std::uint64_t now = MonotonicMs();
    std::uint64_t next = timers_.front().dueMs;
    for (const auto& t : timers_) next = std::min(next, t.dueMs);
    if (next <= now) return 0;
    const std::uint64_t wait = next - now;
    return wait > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(wait);
}

bool ThreadQueue::TakeDueTimer(Msg& out, bool remove) {
    const std::uint64_t now = MonotonicMs();
    TimerEntry* due = nullptr;
    for (auto& t : timers_) {
        if (t.dueMs <= now && (due == nullptr || t.dueMs < due->dueMs)) due = &t;
    }
    if (due == nullptr) return false;
    out = Msg{due->window, kWmTimer, due->id, reinterpret_cast<LParam>(due->proc), TickCount()};
    if (remove) {
        // Elapsed periods that were missed while the thread was busy give no extra ticks.
        const std::uint64_t missed = (now - due->dueMs) / due->periodMs;
        due->dueMs += (missed + 1) * due->periodMs;
    }
    return true;
}

void ThreadQueue::PollSources(int timeoutMs) {
    epoll_event events[64];
    ApplyDeferredRearms(epollFd_);
    const int n = epoll_wait(epollFd_, events, 64, timeoutMs);
    postedSincePoll_ = 0;
    for (int i = 0; i < n; ++i) {
        if (events[i].data.u64 == kWakeTag) {
            DrainEventFd(wakeFd_);
        } else {
            HandleSocketReadiness(events[i].data.u64, events[i].events);
        }
    }
}

bool ThreadQueue::Get(Msg& out, bool block, bool remove) {
    for (;;) {
        HandleSentCalls();
        if (postedSincePoll_ >= kPostsBetweenSocketPolls) PollSources(0);
        if (TakeReady(out, remove)) {
            if (remove) ++postedSincePoll_;
            return true;
        }
        // Sockets come before a due timer, as input does on Windows. With no timer due, the
        // wait below looks at them anyway: a look of its own would only cost a call.
        if (!block || MillisecondsToNextTimer() == 0) {
            PollSources(0);
            if (TakeReady(out, remove)) {
                if (remove) ++postedSincePoll_;
                return true;
            }
        }
        // As on Windows, a quit request comes before timer messages.
        {
            std::lock_guard lock(mutex_);
            if (quitRequested_) {
                out = Msg{0, kWmQuit, static_cast<WParam>(quitCode_), 0, TickCount()};
                if (remove) quitRequested_ = false;
                return true;
            }
        }
        if (TakeDueTimer(out, remove)) return true;
        if (!block) return false;
        PollSources(MillisecondsToNextTimer());
    }
}

void ThreadQueue::Wait() {
    Msg msg;
    if (Get(msg, false, false)) return;
    PollSources(MillisecondsToNextTimer());
}

void ThreadQueue::RequestQuit(int code) {
    std::lock_guard lock(mutex_);
    quitRequested_ = true;
    quitCode_ = code;
}

}  // namespace pelorin::platform::posix
