#include "testing/TestPeer.h"

#include <algorithm>

#include "platform/SocketEnding.h"
#include "platform/Sockets.h"
#include "testing/TestLoop.h"

namespace pelorin::testing {

using namespace platform;

namespace {

// A large write may take the server a while to read while the loop runs.
constexpr std::uint32_t kSendLimitMs = 10000;

}  // namespace

TestPeer::TestPeer(std::uint16_t port, std::string_view localAddress) {
    SocketLibraryStartup();
    const SocketHandle s = OpenTcpSocket();
    if (s == kInvalidSocket) return;
    if (!localAddress.empty() &&
        BindSocket(s, Ipv4Endpoint{ParseDottedAddress(localAddress), 0}) != 0) {
        CloseSocket(s);
        return;
    }
    // The connection completes in the listener's backlog, without the server's loop.
    if (ConnectSocket(s, Ipv4Endpoint{ParseDottedAddress("127.0.0.1"), port}) != 0 ||
        SetSocketBlocking(s, false) != 0) {
        CloseSocket(s);
        return;
    }
    socket_ = s;
}

TestPeer::~TestPeer() {
    Close();
    SocketLibraryCleanup();
}

void TestPeer::Close() {
    if (socket_ == kInvalidSocket) return;
    CloseSocket(socket_);
    socket_ = kInvalidSocket;
}

bool TestPeer::Send(std::string_view bytes) {
    if (!connected()) return false;
    bool failed = false;
    const bool sent = PumpUntil(
        [&] {
            while (!bytes.empty()) {
                const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
                const int n = SendBytes(socket_, bytes.data(), chunk);
                if (n < 0) {
                    failed = LastSocketError() != kWsaEWouldBlock;
                    return failed;
                }
                bytes.remove_prefix(static_cast<std::size_t>(n));
            }
            return true;
        },
        kSendLimitMs);
    return sent && !failed;
}

bool TestPeer::Poll() {
    if (!connected() || closed_) return closed_;
    char buffer[64 * 1024];
    for (int round = 0; round < 256; ++round) {
        const int n = ReceiveBytes(socket_, buffer, sizeof buffer);
        if (n > 0) {
            received_.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && LastSocketError() != kWsaEWouldBlock) reset_ = true;
        if (n == 0 || reset_) closed_ = true;
        return closed_;
    }
    return closed_;  // more is waiting: the next poll takes it
}

bool TestPeer::ReadUntilClosed(std::uint32_t timeoutMs) {
    return PumpUntil([&] { return Poll(); }, timeoutMs);
}

bool TestPeer::ReadAtLeast(std::size_t count, std::uint32_t timeoutMs) {
    return PumpUntil([&] { return Poll() || received_.size() >= count; }, timeoutMs) &&
           received_.size() >= count;
}

std::string Exchange(std::uint16_t port, std::string_view request) {
    TestPeer peer(port);
    if (!peer.connected()) return "<no connection>";
    peer.Send(request);
    if (!peer.ReadUntilClosed()) return peer.received() + "<no close>";
    return peer.received();
}

std::uint16_t UnusedLoopbackPort() {
    SocketLibraryStartup();
    const SocketHandle probe = OpenTcpSocket();
    Ipv4Endpoint local{ParseDottedAddress("127.0.0.1"), 0};
    BindSocket(probe, local);
    LocalEndpoint(probe, local);
    CloseSocket(probe);
    SocketLibraryCleanup();
    return local.port;
}

bool SystemReportsResets() {
    static const bool reported = [] {
        SocketLibraryStartup();
        bool reset = false;
        const SocketHandle listener = OpenTcpSocket();
        Ipv4Endpoint local{ParseDottedAddress("127.0.0.1"), 0};
        if (listener != kInvalidSocket && BindSocket(listener, local) == 0 &&
            ListenSocket(listener, 1) == 0 && LocalEndpoint(listener, local) == 0) {
            TestPeer peer(local.port);
            // The connection waits complete in the backlog: the accept returns at once.
            const SocketHandle accepted =
                peer.connected() ? AcceptSocket(listener, nullptr) : kInvalidSocket;
            if (accepted != kInvalidSocket) {
                ResetOnClose(accepted);
                CloseSocket(accepted);
                reset = peer.ReadUntilClosed() && peer.reset();
            }
        }
        if (listener != kInvalidSocket) CloseSocket(listener);
        SocketLibraryCleanup();
        return reset;
    }();
    return reported;
}

}  // namespace pelorin::testing
