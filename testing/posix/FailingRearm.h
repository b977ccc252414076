// While one lives, the system refuses every new epoll registration of one socket and
// every change of it, as a kernel short of memory would (ENOMEM).
#pragma once

#include <sys/epoll.h>

#include <cerrno>

#include "platform/posix/EpollControl.h"

namespace pelorin::testing {

class FailingRearm {
  public:
    explicit FailingRearm(int socket) {
        failing_ = socket;
        platform::posix::SetEpollControlForTests(&Control);
    }
    ~FailingRearm() { platform::posix::SetEpollControlForTests(nullptr); }
    FailingRearm(const FailingRearm&) = delete;
    FailingRearm& operator=(const FailingRearm&) = delete;

  private:
    static int Control(int epollFd, int operation, int fd, epoll_event* event) {
        if (fd == failing_ && operation != EPOLL_CTL_DEL) {
            errno = ENOMEM;
            return -1;
        }
        return epoll_ctl(epollFd, operation, fd, event);
    }

    static inline int failing_ = -1;
};

}  // namespace pelorin::testing
