// Winsock's socket notification model over epoll. Each socket that has requested
// notifications sits in the epoll set of the thread that owns its window, watched only
// for the conditions that may post an event now: a condition whose event was posted and
// not yet re-enabled is not watched, so a level-triggered set never fires without cause.
// Registrations of connections are one-shot: a socket that fired is switched off by the
// kernel itself, and re-enabling it is one change of its registration rather than a
// removal and a new entry; a socket stays in the set until it is closed. A listener's
// registration stays enabled instead (level-triggered): its accept event is re-enabled by
// every accept, and a registration that needed a change after each would cost a system
// call per connection. While its posted accept event waits to be taken, the listener may
// fire once more; it then leaves the set until the accept (see HandleSocketReadiness).
// A change the system refuses is reported to the socket's owner as a socket error
// (ReportRearmFailure). A registration reports the socket's descriptor and serial: one
// that outlives its socket is known by the serial (see CloseSocket).
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/MessageQueue.h"
#include "platform/posix/EpollControl.h"
#include "platform/posix/ReceivedBytes.h"
#include "platform/posix/SocketErrors.h"
#include "platform/posix/ThreadQueue.h"
#include "platform/posix/WindowRegistry.h"

namespace pelorin::platform {

using posix::SetLastSocketError;
using posix::WinsockErrorFromErrno;

namespace {

enum class Phase { Idle, Connecting, Connected, Listening };

struct SocketRecord {
    int fd = -1;
    std::uint32_t serial = 0;  // tells it from earlier sockets under the same descriptor
    Phase phase = Phase::Idle;
    // The notification request.
    WindowHandle window = 0;
    MessageId message = 0;
    std::uint32_t mask = 0;
    int epollFd = -1;         // the set it is in, -1 when in none
    std::uint32_t armed = 0;  // the epoll events enabled now (0: switched off)
    bool nonBlocking = false;
    // Winsock's enabling state: an event is posted only while enabled.
    bool readEnabled = true;
    bool acceptEnabled = true;
    bool acceptQuiet = false;    // fired again before the posted accept event was taken
    bool writeWanted = false;    // a send was refused as would-block
    bool closeDeferred = false;  // peer closed while unread data waits
    bool closePosted = false;
    // A change of the registration failed and the owner was told; until a new request,
    // the registration is left as it is.
    bool rearmFailed = false;
    bool rearmDeferred = false;  // waits in gDeferred for the thread's next wait
    // A send asked the system to hold back its last partly filled packet, and nothing
    // sent since has let it go: PushSentBytes has something to push.
    bool heldBack = false;
    std::uint64_t received = 0;  // bytes taken by ReceiveBytes, for CloseMayLoseData
};

std::mutex gMutex;
std::unordered_map<int, SocketRecord> gSockets;
std::uint32_t gLastSerial = 0;
// Registrations whose change waits for the next wait of their thread (RearmBeforeWait), by
// tag: a connection closed before that needs no change at all.
std::vector<std::uint64_t> gDeferred;
// The epoll set this thread waits on, known from its waits.
thread_local int tWaitSet = -1;
// A descriptor held for nothing but to be given up when the process has no other: a
// listener can then still take a waiting connection, to close it (RefuseWaitingConnection).
int gReserve = -1;

int OpenReserve() {
    return open("/dev/null", O_RDONLY | O_CLOEXEC);
}
std::atomic<posix::EpollControl> gEpollControl{nullptr};

int ControlEpoll(int epollFd, int operation, int fd, epoll_event* event) {
    if (const posix::EpollControl control = gEpollControl.load()) {
        return control(epollFd, operation, fd, event);
    }
    return epoll_ctl(epollFd, operation, fd, event);
}

SocketRecord* Find(SocketHandle socket) {
    auto it = gSockets.find(static_cast<int>(socket));
    return it == gSockets.end() ? nullptr : &it->second;
}

// The epoll user data of the socket's registration: the serial above the descriptor.
std::uint64_t TagOf(const SocketRecord& r) {
    return std::uint64_t{r.serial} << 32 | static_cast<std::uint32_t>(r.fd);
}

int Fail(int winsockError) {
    SetLastSocketError(winsockError);
    return kSocketError;
}

int FailFromErrno() {
    return Fail(WinsockErrorFromErrno(errno));
}

void Notify(const SocketRecord& r, std::uint32_t event, int error) {
    if ((r.mask & event) == 0) return;
    PostMsg(r.window, r.message, static_cast<WParam>(r.fd), MakeSelectLParam(event, error));
}

int PendingBytes(int fd) {
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

// The epoll events the socket's state asks for.
std::uint32_t WantedEvents(const SocketRecord& r) {
    if (r.mask == 0) return 0;
    std::uint32_t events = 0;
    switch (r.phase) {
        case Phase::Connecting:
            events |= EPOLLOUT;  // completion, whatever the mask says
            break;
        case Phase::Listening:
            if ((r.mask & kFdAccept) && !r.acceptQuiet) events |= EPOLLIN;
            break;
        case Phase::Connected:
            if (!r.closePosted && !r.closeDeferred) {
                if ((r.mask & kFdRead) && r.readEnabled) {
                    events |= EPOLLIN | EPOLLRDHUP;
                } else if ((r.mask & kFdClose) && !(r.mask & kFdRead)) {
                    events |= EPOLLRDHUP;
                }
            }
            if ((r.mask & kFdWrite) && r.writeWanted) events |= EPOLLOUT;
            break;
        case Phase::Idle:
            break;
    }
    return events;
}

void LeaveEpollSet(SocketRecord& r) {
    if (r.epollFd != -1) ControlEpoll(r.epollFd, EPOLL_CTL_DEL, r.fd, nullptr);
    r.epollFd = -1;
    r.armed = 0;
}

void PostClose(SocketRecord& r, int error) {
    if (r.closePosted) return;
    r.closePosted = true;
    Notify(r, kFdClose, error);
}

// A registration the system would not change leaves the socket unreported for good, so
// its owner hears it as a failure of the socket, through the first notification it asked
// for that carries an error to it: a failed connect (a CSocket raises Error, whatever
// its state), else a close with the error (a connection of the server's listening control
// raises Error), else a failed accept (the listening control reports it and asks again a
// little later). Windows reports its own failures the same ways.
void ReportRearmFailure(SocketRecord& r, int error) {
    r.rearmFailed = true;
    if (r.mask & kFdConnect) {
        Notify(r, kFdConnect, error);
    } else if (r.mask & kFdClose) {
        PostClose(r, error);
    } else {
        Notify(r, kFdAccept, error);
    }
}

// Brings the socket's epoll registration in line with its state. A socket that wants
// nothing must not stay enabled: errors and hang-ups are reported even for an empty
// event mask, and would wake the loop for nothing. One that fired is off already; one
// still enabled leaves the set (rare: a request withdrawn).
void Rearm(SocketRecord& r) {
    r.rearmDeferred = false;
    if (r.rearmFailed) return;
    const std::uint32_t wanted = WantedEvents(r);
    if (wanted == 0) {
        if (r.armed != 0) LeaveEpollSet(r);
        return;
    }
    if (r.epollFd != -1 && r.armed == wanted) return;
    epoll_event ev{};
    ev.events = wanted | (r.phase == Phase::Listening ? 0u : std::uint32_t{EPOLLONESHOT});
    ev.data.u64 = TagOf(r);
    // The set of the window's thread; a request for another window left the old one.
    const bool inSet = r.epollFd != -1;
    int epollFd = r.epollFd;
    if (!inSet) {
        auto owner = posix::WindowRegistry::Instance().OwnerOf(r.window);
        if (!owner) return;  // the window is gone, and nobody is left to tell
        epollFd = owner->epollFd();
    }
    if (ControlEpoll(epollFd, inSet ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, r.fd, &ev) != 0) {
        ReportRearmFailure(r, WinsockErrorFromErrno(errno));
        return;
    }
    r.epollFd = epollFd;
    r.armed = wanted;
}

// Rearm, left for the thread's next wait where that is the thread of the socket's set: no
// event can be missed before the wait looks, and a request answered and closed meanwhile
// (the usual end of a connection whose request was just received) needs no change.
void RearmBeforeWait(SocketRecord& r) {
    if (r.rearmDeferred) return;
    if (r.epollFd == -1 || r.epollFd != tWaitSet || r.rearmFailed || WantedEvents(r) == r.armed) {
        Rearm(r);
        return;
    }
    r.rearmDeferred = true;
    gDeferred.push_back(TagOf(r));
}

void OnConnectDone(SocketRecord& r) {
    int error = 0;
    socklen_t len = sizeof error;
    getsockopt(r.fd, SOL_SOCKET, SO_ERROR, &error, &len);
    if (error != 0) {
        r.phase = Phase::Idle;
        Notify(r, kFdConnect, WinsockErrorFromErrno(error));
        return;
    }
    r.phase = Phase::Connected;
    Notify(r, kFdConnect, 0);
    r.writeWanted = false;
    Notify(r, kFdWrite, 0);
}

void OnConnectedReady(SocketRecord& r, std::uint32_t events) {
    if (events & EPOLLERR) {
        int error = 0;
        socklen_t len = sizeof error;
        getsockopt(r.fd, SOL_SOCKET, SO_ERROR, &error, &len);
        PostClose(r, error != 0 ? WinsockErrorFromErrno(error) : kWsaEConnReset);
        return;
    }
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP)) {
        // Readable without a hang-up can only mean data; otherwise ask.
        const bool data = (events & (EPOLLRDHUP | EPOLLHUP)) == 0 || PendingBytes(r.fd) > 0;
        if (data) {
            if ((r.mask & kFdRead) && r.readEnabled) {
                r.readEnabled = false;
                Notify(r, kFdRead, 0);
            } else {
                r.closeDeferred = true;  // the close comes once the data has been read
            }
        } else {
            char probe;
            const ssize_t n = recv(r.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n == 0)
                PostClose(r, 0);
            else if (n < 0 && errno != EAGAIN)
                PostClose(r, WinsockErrorFromErrno(errno));
        }
    }
    if ((events & EPOLLOUT) && r.writeWanted) {
        r.writeWanted = false;
        Notify(r, kFdWrite, 0);
    }
}

}  // namespace

namespace posix {

void HandleSocketReadiness(std::uint64_t tag, std::uint32_t events) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(static_cast<int>(tag & 0xFFFFFFFF));
    // A registration that outlived its socket: whatever has the number now, it is not
    // the socket this was meant for.
    if (r == nullptr || TagOf(*r) != tag) return;
    // One-shot: off until Rearm enables it again. A listener stays enabled.
    if (r->phase != Phase::Listening) r->armed = 0;
    switch (r->phase) {
        case Phase::Connecting:
            OnConnectDone(*r);
            break;
        case Phase::Listening:
            if ((events & EPOLLIN) && r->acceptEnabled) {
                r->acceptEnabled = false;
                Notify(*r, kFdAccept, 0);
            } else if (events & EPOLLIN) {
                // The event posted is not taken yet: the listener keeps quiet until the
                // next accept rather than waking every wait.
                r->acceptQuiet = true;
            }
            break;
        case Phase::Connected:
            OnConnectedReady(*r, events);
            break;
        case Phase::Idle:
            break;
    }
    Rearm(*r);
}

void ApplyDeferredRearms(int epollFd) {
    tWaitSet = epollFd;
    std::lock_guard lock(gMutex);
    if (gDeferred.empty()) return;
    std::erase_if(gDeferred, [epollFd](std::uint64_t tag) {
        SocketRecord* r = Find(static_cast<int>(tag & 0xFFFFFFFF));
        if (r == nullptr || TagOf(*r) != tag || !r->rearmDeferred) return true;  // done or gone
        if (r->epollFd != epollFd) return false;                                 // another thread's
        Rearm(*r);
        return true;
    });
}

std::optional<std::uint64_t> BytesReceivedFrom(int fd) {
    std::lock_guard lock(gMutex);
    const SocketRecord* r = Find(fd);
    if (r == nullptr) return std::nullopt;
    return r->received;
}

void SetEpollControlForTests(EpollControl control) {
    gEpollControl.store(control);
}

}  // namespace posix

// The library needs no start-up on Linux; the count only mirrors Winsock's pairing.
int SocketLibraryStartup() {
    return 0;
}
void SocketLibraryCleanup() {}

SocketHandle OpenTcpSocket() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd == 0) {
        // Handle 0 means "no socket" to the components; keep descriptor 0 out of the way.
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
        close(fd);
        fd = moved;
    }
    if (fd < 0) {
        SetLastSocketError(WinsockErrorFromErrno(errno));
        return kInvalidSocket;
    }
    std::lock_guard lock(gMutex);
    gSockets[fd] = SocketRecord{.fd = fd, .serial = ++gLastSerial};
    return fd;
}

int CloseSocket(SocketHandle socket) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    // Closing the descriptor takes it out of the epoll set, unless a child process started
    // meanwhile still holds it: until that child runs its program (every descriptor here
    // closes on exec), the registration stays and may report once more, with this
    // socket's serial, which no socket has from now on. So no removal is needed first.
    close(r->fd);
    gSockets.erase(r->fd);
    return 0;
}

namespace {

sockaddr_in ToSockaddr(const Ipv4Endpoint& e) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(e.port);
    sa.sin_addr.s_addr = e.address;
    return sa;
}

Ipv4Endpoint FromSockaddr(const sockaddr_in& sa) {
    return Ipv4Endpoint{sa.sin_addr.s_addr, ntohs(sa.sin_port)};
}

}  // namespace

int BindSocket(SocketHandle socket, const Ipv4Endpoint& local) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    // Windows lets a listener bind a port that still has closed connections waiting out
    // their time; Linux needs this option for that (it still refuses a second listener).
    int on = 1;
    setsockopt(r->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in sa = ToSockaddr(local);
    if (bind(r->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return FailFromErrno();
    return 0;
}

int ListenSocket(SocketHandle socket, int backlog) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    if (listen(r->fd, backlog) != 0) return FailFromErrno();
    if (gReserve < 0) gReserve = OpenReserve();
    r->phase = Phase::Listening;
    Rearm(*r);
    return 0;
}

SocketHandle AcceptSocket(SocketHandle listener, Ipv4Endpoint* peer) {
    std::lock_guard lock(gMutex);
    SocketRecord* l = Find(listener);
    if (l == nullptr) {
        SetLastSocketError(kWsaENotSock);
        return kInvalidSocket;
    }
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const int flags = SOCK_CLOEXEC | (l->mask != 0 ? SOCK_NONBLOCK : 0);
    const int fd = accept4(l->fd, reinterpret_cast<sockaddr*>(&sa), &len, flags);
    // Accepting re-enables the accept event; more waiting connections post it again. The
    // listener's registration is still enabled, unless it had to keep quiet.
    l->acceptEnabled = true;
    l->acceptQuiet = false;
    Rearm(*l);
    if (fd < 0) {
        SetLastSocketError(WinsockErrorFromErrno(errno));
        return kInvalidSocket;
    }
    if (peer != nullptr) *peer = FromSockaddr(sa);
    // The new socket inherits the listener's request and is connected at once.
    SocketRecord r{.fd = fd,
                   .serial = ++gLastSerial,
                   .phase = Phase::Connected,
                   .window = l->window,
                   .message = l->message,
                   .mask = l->mask,
                   .nonBlocking = (flags & SOCK_NONBLOCK) != 0};
    Notify(r, kFdWrite, 0);
    Rearm(r);
    gSockets[fd] = r;
    return fd;
}

int RefuseWaitingConnection(SocketHandle listener) {
    std::lock_guard lock(gMutex);
    const SocketRecord* l = Find(listener);
    if (l == nullptr) return Fail(kWsaENotSock);
    if (gReserve < 0) gReserve = OpenReserve();
    if (gReserve < 0) return Fail(kWsaEMFile);
    close(gReserve);
    const int fd = accept4(l->fd, nullptr, nullptr, SOCK_CLOEXEC);
    const int error = errno;
    if (fd >= 0) close(fd);
    gReserve = OpenReserve();
    if (fd < 0) return Fail(WinsockErrorFromErrno(error));
    return 0;
}

int ConnectSocket(SocketHandle socket, const Ipv4Endpoint& remote) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    const sockaddr_in sa = ToSockaddr(remote);
    const int result = connect(r->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (r->mask == 0 && (fcntl(r->fd, F_GETFL) & O_NONBLOCK) == 0) {
        // A blocking socket: the call itself is the whole story.
        if (result != 0) return FailFromErrno();
        r->phase = Phase::Connected;
        return 0;
    }
    // Non-blocking: Winsock always answers would-block and reports the outcome as a
    // connect event, even when Linux knew it at once.
    if (result == 0 || errno == EINPROGRESS) {
        r->phase = Phase::Connecting;
    } else {
        r->phase = Phase::Idle;
        Notify(*r, kFdConnect, WinsockErrorFromErrno(errno));
    }
    Rearm(*r);
    return Fail(kWsaEWouldBlock);
}

int SendBytes(SocketHandle socket, const char* data, int length) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    const ssize_t sent = send(r->fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<int>(sent);
    if (errno == EAGAIN) {
        r->writeWanted = true;
        Rearm(*r);
    }
    return FailFromErrno();
}

int SendPieces(SocketHandle socket, const std::string_view* pieces, int count, bool more) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    iovec vectors[64];
    const int used = std::clamp(count, 0, 64);  // the rest goes with the next call
    for (int i = 0; i < used; ++i) {
        vectors[i].iov_base = const_cast<char*>(pieces[i].data());
        vectors[i].iov_len = pieces[i].size();
    }
    msghdr message{};
    message.msg_iov = vectors;
    message.msg_iovlen = static_cast<std::size_t>(used);
    const ssize_t sent = sendmsg(r->fd, &message, MSG_NOSIGNAL | (more ? MSG_MORE : 0));
    if (sent > 0) r->heldBack = more;
    if (sent >= 0) return static_cast<int>(sent);
    if (errno == EAGAIN) {
        r->writeWanted = true;
        Rearm(*r);
    }
    return FailFromErrno();
}

namespace {

// sendfile has no flag that keeps it from raising SIGPIPE at a peer that has gone, as
// MSG_NOSIGNAL does for send: the sending thread blocks the signal (once), and the one
// raised is taken back, so that only the error remains.
void BlockBrokenPipeSignal() {
    thread_local const bool blocked = [] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
    }();
    (void)blocked;
}

void TakeBackBrokenPipeSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    const timespec now{0, 0};
    sigtimedwait(&set, nullptr, &now);
}

}  // namespace

// sendfile holds back a partly filled packet of its own while more of the call's bytes
// follow, and lets the last one go with them: a head sent before with "more" leaves with
// the file's bytes, a short answer in one packet. A call the socket took only part of
// leaves its tail to the next call, which sends it.
int SendFromFile(SocketHandle socket, const ReadableFile& file, std::uint64_t offset, int length) {
    BlockBrokenPipeSignal();
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    auto at = static_cast<off_t>(offset);
    const ssize_t sent = sendfile(r->fd, static_cast<int>(file.Handle()), &at,
                                  static_cast<std::size_t>(std::max(length, 0)));
    if (sent > 0) r->heldBack = sent < length;
    if (sent >= 0) return static_cast<int>(sent);
    if (errno == EAGAIN) {
        r->writeWanted = true;
        Rearm(*r);
    } else if (errno == EPIPE) {
        TakeBackBrokenPipeSignal();
        errno = EPIPE;
    }
    return FailFromErrno();
}

// Switching Nagle's wait off sends whatever a "more" send held back, and lets every later
// partly filled packet go at once. Where nothing is held back, there is nothing to do.
int PushSentBytes(SocketHandle socket) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    if (!r->heldBack) return 0;
    r->heldBack = false;
    int on = 1;
    if (setsockopt(r->fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) return FailFromErrno();
    return 0;
}

int UnreadBytes(SocketHandle socket) {
    std::lock_guard lock(gMutex);
    const SocketRecord* r = Find(socket);
    return r == nullptr ? 0 : PendingBytes(r->fd);
}

int ReceiveBytes(SocketHandle socket, char* buffer, int length) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    const ssize_t got = recv(r->fd, buffer, static_cast<std::size_t>(length), 0);
    const int savedErrno = errno;
    if (got > 0) r->received += static_cast<std::uint64_t>(got);
    // A receive re-enables the read event; data left behind posts it again at once. Only
    // a receive that filled the buffer can have left any: a shorter one took all there
    // was, and data arriving later is reported by the re-enabled registration.
    r->readEnabled = true;
    r->closeDeferred = false;
    if (r->phase == Phase::Connected && (r->mask & kFdRead) && !r->closePosted && got == length &&
        PendingBytes(r->fd) > 0) {
        r->readEnabled = false;
        Notify(*r, kFdRead, 0);
    }
    RearmBeforeWait(*r);
    if (got < 0) return Fail(WinsockErrorFromErrno(savedErrno));
    return static_cast<int>(got);
}

int SetSocketBlocking(SocketHandle socket, bool blocking) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    if (blocking && r->mask != 0) return Fail(kWsaEInval);
    const int flags = fcntl(r->fd, F_GETFL);
    fcntl(r->fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
    r->nonBlocking = !blocking;
    return 0;
}

int RequestNotifications(SocketHandle socket, WindowHandle window, MessageId message,
                         std::uint32_t mask) {
    std::lock_guard lock(gMutex);
    SocketRecord* r = Find(socket);
    if (r == nullptr) return Fail(kWsaENotSock);
    if (mask != 0 && !posix::WindowRegistry::Instance().OwnerOf(window)) return Fail(kWsaEInval);
    if (window != r->window && r->epollFd != -1) LeaveEpollSet(*r);  // maybe another thread's
    r->window = window;
    r->message = message;
    r->mask = mask;
    if (mask != 0) {
        if (!r->nonBlocking) fcntl(r->fd, F_SETFL, fcntl(r->fd, F_GETFL) | O_NONBLOCK);
        r->nonBlocking = true;
        // Every condition is looked at afresh; those that already hold post at once.
        r->readEnabled = true;
        r->acceptEnabled = true;
        r->acceptQuiet = false;
        r->closePosted = false;
        r->closeDeferred = false;
        r->writeWanted = false;
        if (r->phase == Phase::Connected) Notify(*r, kFdWrite, 0);
    }
    r->rearmFailed = false;  // a registration that failed is tried again
    Rearm(*r);
    return 0;
}

namespace {

using NameCall = int (*)(int, sockaddr*, socklen_t*);

int EndpointOf(NameCall call, SocketHandle socket, Ipv4Endpoint& endpoint) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (call(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return FailFromErrno();
    }
    endpoint = FromSockaddr(sa);
    return 0;
}

}  // namespace

int PeerEndpoint(SocketHandle socket, Ipv4Endpoint& peer) {
    return EndpointOf(getpeername, socket, peer);
}

int LocalEndpoint(SocketHandle socket, Ipv4Endpoint& local) {
    return EndpointOf(getsockname, socket, local);
}

std::uint32_t ParseDottedAddress(std::string_view text) {
    const std::string copy(text);
    return inet_addr(copy.c_str());
}

// Written by hand: it runs for every accepted connection, and inet_ntop formats through
// sprintf.
std::string DottedAddressText(std::uint32_t address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);  // network order
    std::string text;
    text.reserve(15);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) text += '.';
        const unsigned value = bytes[i];
        if (value >= 100) text += static_cast<char>('0' + value / 100);
        if (value >= 10) text += static_cast<char>('0' + value / 10 % 10);
        text += static_cast<char>('0' + value % 10);
    }
    return text;
}

namespace {

int WinsockErrorFromLookup(int error) {
    switch (error) {
        case EAI_AGAIN:
            return kWsaTryAgain;
        case EAI_FAIL:
            return kWsaNoRecovery;
        case EAI_NODATA:
            return kWsaNoData;
        default:
            return kWsaHostNotFound;
    }
}

}  // namespace

bool LookupHostAddresses(std::string_view name, std::vector<std::uint32_t>& addresses) {
    addresses.clear();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string copy(name);
    const int error = getaddrinfo(copy.c_str(), nullptr, &hints, &list);
    if (error != 0) {
        SetLastSocketError(WinsockErrorFromLookup(error));
        return false;
    }
    for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
        const auto* sa = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        const std::uint32_t address = sa->sin_addr.s_addr;
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
            addresses.push_back(address);
        }
    }
    freeaddrinfo(list);
    return !addresses.empty();
}

bool LookupAddressName(std::uint32_t address, std::string& name) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    char host[NI_MAXHOST] = {};
    const int error = getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host,
                                  sizeof host, nullptr, 0, NI_NAMEREQD);
    if (error != 0) {
        SetLastSocketError(WinsockErrorFromLookup(error));
        return false;
    }
    name = host;
    return true;
}

bool LocalHostName(std::string& name) {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) {
        SetLastSocketError(WinsockErrorFromErrno(errno));
        return false;
    }
    name = buffer;
    return true;
}

}  // namespace pelorin::platform
