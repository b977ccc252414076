// The signals are blocked in every thread and taken by one waiting thread, which posts
// the close request: nothing runs inside a signal handler, where hardly any call is safe.
#include "platform/StopRequests.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "platform/MessageQueue.h"

namespace pelorin::platform {
namespace {

std::atomic<WindowHandle> gTarget{0};

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

void WaitForSignals(sigset_t set) {
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) return;
        // A window that is gone already is shutting down: the request has nothing to do.
        const WindowHandle target = gTarget.load();
        if (target != 0) PostMsg(target, kWmClose, 0, 0);
    }
}

}  // namespace

bool WatchStopRequests(WindowHandle window) {
    static const bool watching = [] {
        const sigset_t set = StopSignals();
        // Threads started from here on inherit the mask, so the waiter gets every signal.
        if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
        // A write beyond the process's file size limit would end the program outright;
        // ignored, the write fails with an error the store answers, as on a full disk.
        signal(SIGXFSZ, SIG_IGN);
        std::thread(WaitForSignals, set).detach();
        return true;
    }();
    gTarget.store(window);
    return watching;
}

}  // namespace pelorin::platform
