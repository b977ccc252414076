#include "TestConnection.h"

#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/Sockets.h"
#include "platform/Window.h"
#include "platform/tests/TestLoop.h"

namespace pelorin::testing {

using namespace platform;

namespace {
constexpr MessageId kSocketMessage = kWmUser + 77;
}

TestConnection::TestConnection(std::uint16_t port, std::string_view from) {
    SocketLibraryStartup();
    window_ = CreateHiddenWindow("test connection");
    SetWindowData(window_, reinterpret_cast<std::intptr_t>(this));
    ReplaceWindowProc(window_, Proc);
    SocketHandle s = OpenTcpSocket();
    const bool ok = s != kInvalidSocket &&
                    BindSocket(s, Ipv4Endpoint{ParseDottedAddress(from), 0}) == 0 &&
                    ConnectSocket(s, Ipv4Endpoint{ParseDottedAddress("127.0.0.1"), port}) == 0 &&
                    RequestNotifications(s, window_, kSocketMessage, kFdRead | kFdClose) == 0;
    if (!ok) {
        if (s != kInvalidSocket) CloseSocket(s);
        s = kInvalidSocket;
    }
    socket_ = s;
}

TestConnection::~TestConnection() {
    if (socket_ != kInvalidSocket) CloseSocket(socket_);
    DestroyWin(window_);
    SocketLibraryCleanup();
}

bool TestConnection::Send(std::string_view bytes) {
    const std::uint32_t start = TickCount();
    while (!bytes.empty() && Connected()) {
        const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
        const int sent = SendBytes(socket_, bytes.data(), chunk);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (LastSocketError() != kWsaEWouldBlock || ElapsedMs(start, TickCount()) > 10000) {
            return false;
        }
        PumpFor(2);  // the server reads when the loop runs
    }
    return bytes.empty();
}

void TestConnection::Close() {
    if (!Connected()) return;
    CloseSocket(socket_);
    socket_ = kInvalidSocket;
}

bool TestConnection::WaitClosed(std::uint32_t timeoutMs) {
    return PumpUntil([this] { return closed_; }, timeoutMs);
}

void TestConnection::ReadAll() {
    char buffer[65536];
    for (;;) {
        const int n = ReceiveBytes(socket_, buffer, sizeof buffer);
        if (n <= 0) return;
        received_.append(buffer, static_cast<std::size_t>(n));
    }
}

LResult TestConnection::Proc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    auto* self = reinterpret_cast<TestConnection*>(GetWindowData(window));
    if (message != kSocketMessage || self == nullptr) {
        return DefaultWindowProc(window, message, wParam, lParam);
    }
    if (static_cast<SocketHandle>(wParam) != self->socket_) return 0;
    self->ReadAll();
    if (LowWord(static_cast<std::uintptr_t>(lParam)) == kFdClose) self->closed_ = true;
    return 0;
}

std::string Exchange(std::uint16_t port, std::string_view request) {
    TestConnection connection(port);
    if (!connection.Connected()) return "<no connection>";
    connection.Send(request);
    if (!connection.WaitClosed()) return connection.Received() + "<no close>";
    return connection.Received();
}

std::uint16_t FreePort() {
    SocketLibraryStartup();
    const SocketHandle s = OpenTcpSocket();
    Ipv4Endpoint local{ParseDottedAddress("127.0.0.1"), 0};
    BindSocket(s, local);
    LocalEndpoint(s, local);
    CloseSocket(s);
    SocketLibraryCleanup();
    return local.port;
}

}  // namespace pelorin::testing
