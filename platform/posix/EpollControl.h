// The epoll control call of the socket notifications, replaceable so that tests can make
// it fail as a kernel short of memory would.
#pragma once

struct epoll_event;

namespace pelorin::platform::posix {

using EpollControl = int (*)(int epollFd, int operation, int fd, epoll_event* event);

// Every change of a socket's epoll registration goes through `control` from now on, in
// every thread; nullptr gives the system's call back.
void SetEpollControlForTests(EpollControl control);

}  // namespace pelorin::platform::posix
