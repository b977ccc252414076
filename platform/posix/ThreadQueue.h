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

    // The thread's timers (owner thread only), each known by its window and id (window 0:
    // a callback timer). A due timer is handed out by Get as a kWmTimer message. Setting
    // a timer that exists restarts it with the new period and procedure.
    void SetTimer(WindowHandle window, std::uintptr_t id, std::uint64_t periodMs, TimerProc proc);
    // False when there was no such timer.
    bool KillTimer(WindowHandle window, std::uintptr_t id);
    // Every timer of a window that is going away.
    void KillTimersOf(WindowHandle window);

  private:
    struct TimerEntry {
        WindowHandle window = 0;
        std::uintptr_t id = 0;
        TimerProc proc = nullptr;
        std::uint64_t periodMs = 0;
        std::uint64_t dueMs = 0;  // on MonotonicMs()
    };

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

// Called by ThreadQueue for an epoll event of a socket (owner thread), with the event's
// user data.
void HandleSocketReadiness(std::uint64_t tag, std::uint32_t events);
// Makes the socket registrations of the set whose changes were left for its thread's next
// wait (platform/posix/Sockets.cpp); called before each wait on `epollFd`.
void ApplyDeferredRearms(int epollFd);

}  // namespace pelorin::platform::posix
