// The per-thread message queue of the Linux backend: posted messages, messages sent from
// other threads, the thread's timers, and one epoll set that holds the thread's wake-up
// event and every socket whose notifications go to one of its windows.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Types.h"

namespace pelorin::platform::posix {

// A message sent from another thread, waiting for the owner's answer.
struct SentCall {
    Msg msg;
    LResult result = 0;
    bool done = false;
    int replyWakeFd = -1;  // the sender's wake-up event
};

struct TimerEntry {
    WindowHandle window = 0;  // 0: a callback timer
    std::uintptr_t id = 0;
    TimerProc proc = nullptr;
    std::uint64_t periodMs = 0;
    std::uint64_t dueMs = 0;  // on the monotonic clock of MonotonicMs()
};

class ThreadQueue {
  public:
    ThreadQueue();
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    // The calling thread's queue, made on first use.
    static ThreadQueue& Current();
    static std::shared_ptr<ThreadQueue> CurrentShared();

    // From any thread.
    void Post(const Msg& msg);
    LResult SendFromOtherThread(const Msg& msg);

    // Owner thread only.
    bool Get(Msg& out, bool block, bool remove);
    void Wait();
    void RequestQuit(int code);

    bool IsCurrentThread() const;
    int epollFd() const { return epollFd_; }

    std::vector<TimerEntry>& timers() { return timers_; }

  private:
    bool TakeReady(Msg& out, bool remove);
    bool TakeDueTimer(Msg& out, bool remove);
    bool HandleSentCalls();
    // Waits for sockets, the wake-up event or `timeoutMs` (-1: no limit) and turns socket
    // readiness into posted notifications.
    void PollSources(int timeoutMs);
    int MillisecondsToNextTimer() const;
    void Wake();

    std::mutex mutex_;
    std::deque<Msg> posted_;
    std::deque<std::shared_ptr<SentCall>> sent_;
    bool quitRequested_ = false;
    int quitCode_ = 0;
    std::vector<TimerEntry> timers_;
    unsigned postedSincePoll_ = 0;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::thread::id owner_;
};

// Milliseconds of a monotonic clock that does not wrap; for timer schedules.
std::uint64_t MonotonicMs();

// Called by ThreadQueue for an epoll event of a socket (owner thread).
void HandleSocketReadiness(int fd, std::uint32_t events);

}  // namespace pelorin::platform::posix
