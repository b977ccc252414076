#include "platform/SocketEnding.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/posix/ReceivedBytes.h"
#include "platform/posix/SocketErrors.h"

namespace pelorin::platform {

int ShutdownSending(SocketHandle socket) {
    if (shutdown(static_cast<int>(socket), SHUT_WR) == 0) return 0;
    posix::SetLastSocketError(posix::WinsockErrorFromErrno(errno));
    return kSocketError;
}

namespace {

int SetLinger(SocketHandle socket, const linger& value) {
    if (setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_LINGER, &value, sizeof value) == 0) {
        return 0;
    }
    posix::SetLastSocketError(posix::WinsockErrorFromErrno(errno));
    return kSocketError;
}

}  // namespace

int ResetOnClose(SocketHandle socket) {
    return SetLinger(socket, linger{1, 0});
}

int EndOnClose(SocketHandle socket) {
    return SetLinger(socket, linger{0, 0});
}

// Bytes already on the wire are safe: the end of the data follows them at once, and a
// peer reads what reached it up to that end even when a reset comes after it. What is at
// risk is what waits unread here (the close then resets instead of ending) and what has
// not left yet (a reset throws it away).
//
// A partly filled packet held back for more has not left, but the close sends it at once,
// with the end of the data in the same packet, when the peer's window and the congestion
// window let one more packet go: that is the usual end of a short answer, and it needs
// no lingering.
namespace {

// The connection states of tcp_info after the peer's end of the data came (the kernel's
// numbers, which <linux/tcp.h> does not name).
constexpr std::uint8_t kCloseWait = 8;
constexpr std::uint8_t kLastAck = 9;

}  // namespace

bool CloseMayLoseData(SocketHandle socket) {
    const int fd = static_cast<int>(socket);
    tcp_info info{};
    socklen_t length = sizeof info;
    constexpr socklen_t kNeeded =
        offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 || length < kNeeded) return true;
    // Unread bytes: what arrived in order, less what was received. The system counts the
    // peer's end of the data as one byte more. Where the count is not known, it asks.
    const std::optional<std::uint64_t> taken = posix::BytesReceivedFrom(fd);
    if (taken) {
        const bool peerEnded = info.tcpi_state == kCloseWait || info.tcpi_state == kLastAck;
        if (info.tcpi_bytes_received > *taken + (peerEnded ? 1 : 0)) return true;
    } else {
        int unread = 0;
        if (ioctl(fd, FIONREAD, &unread) != 0 || unread > 0) return true;
    }
    const std::uint64_t unsent = info.tcpi_notsent_bytes;
    if (unsent == 0) return false;
    // Sent and not acknowledged yet; counting resent bytes twice only errs on the safe side.
    if (info.tcpi_bytes_sent < info.tcpi_bytes_acked) return true;
    const std::uint64_t inFlight = info.tcpi_bytes_sent - info.tcpi_bytes_acked;
    const bool leavesWithTheClose = unsent <= info.tcpi_snd_mss &&
                                    info.tcpi_unacked < info.tcpi_snd_cwnd &&
                                    inFlight + unsent <= info.tcpi_snd_wnd;
    return !leavesWithTheClose;
}

}  // namespace pelorin::platform
