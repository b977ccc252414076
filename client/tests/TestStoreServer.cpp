#include "client/tests/TestStoreServer.h"

#include <algorithm>
#include <stdexcept>

#include "base/Text.h"
#include "platform/MessageQueue.h"
#include "platform/Sockets.h"
#include "platform/Window.h"

namespace pelorin::testing {

using namespace platform;

namespace {

constexpr MessageId kSocketMessage = kWmUser + 7;
constexpr std::uint32_t kLoopback = 0x0100007Fu;  // 127.0.0.1 in network byte order

// The size of a complete request in `bytes`, or 0 while it is still incomplete.
std::size_t CompleteRequestSize(const std::string& bytes) {
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string::npos) return 0;
    const std::size_t bodyStart = end + 4;
    std::size_t length = 0;
    const std::string head = bytes.substr(0, end + 2);
    const std::size_t field = head.find("\r\nContent-Length: ");
    if (field != std::string::npos) {
        length = static_cast<std::size_t>(Val(std::string_view(head).substr(field + 18)));
    }
    return bytes.size() >= bodyStart + length ? bodyStart + length : 0;
}

}  // namespace

struct TestStoreServer::Connection {
    SocketHandle socket = kInvalidSocket;
    Reply reply;
    std::string received;
    bool complete = false;  // the whole request has arrived
    std::string outbox;
    bool closeWhenSent = false;
};

std::string AnswerBytes(int status, const std::string& message, const std::string& body) {
    return "HTTP/1.0 " + std::to_string(status) + " " + message + "\r\n\r\n" + body;
}

TestStoreServer::TestStoreServer() {
    if (SocketLibraryStartup() != 0) throw std::runtime_error("no socket library");
    window_ = CreateHiddenWindow("TestStoreServer");
    ReplaceWindowProc(window_, Proc);
    SetWindowData(window_, reinterpret_cast<std::intptr_t>(this));
    listener_ = OpenTcpSocket();
    Ipv4Endpoint local{kLoopback, 0};
    if (listener_ == kInvalidSocket || BindSocket(listener_, local) != 0 ||
        ListenSocket(listener_, 16) != 0 || LocalEndpoint(listener_, local) != 0 ||
        RequestNotifications(listener_, window_, kSocketMessage, kFdAccept) != 0) {
        throw std::runtime_error("the test server cannot listen");
    }
    port_ = local.port;
}

TestStoreServer::~TestStoreServer() {
    for (auto& entry : connections_) CloseSocket(entry.first);
    CloseSocket(listener_);
    DestroyWin(window_);
    SocketLibraryCleanup();
}

LResult TestStoreServer::Proc(WindowHandle window, MessageId message, WParam wParam,
                              LParam lParam) {
    if (message != kSocketMessage) return DefaultWindowProc(window, message, wParam, lParam);
    auto* server = reinterpret_cast<TestStoreServer*>(GetWindowData(window));
    if (server != nullptr) {
        server->OnSocketEvent(static_cast<SocketHandle>(wParam),
                              LowWord(static_cast<std::uintptr_t>(lParam)));
    }
    return 0;
}

void TestStoreServer::OnSocketEvent(SocketHandle socket, std::uint32_t event) {
    if (socket == listener_) {
        if (event == kFdAccept) Accept();
        return;
    }
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;  // closed meanwhile; its message was queued
    Connection& connection = *it->second;
    if (event == kFdRead) Read(connection);
    if (event == kFdWrite) Flush(connection);
    if (event == kFdClose) {
        Read(connection);  // may answer and close
        if (connections_.contains(socket)) Close(socket);
    }
}

void TestStoreServer::Accept() {
    const SocketHandle socket = AcceptSocket(listener_, nullptr);
    if (socket == kInvalidSocket) return;
    ++accepted_;
    Reply reply;
    if (!replies_.empty()) {
        reply = std::move(replies_.front());
        replies_.pop_front();
    } else {
        reply.bytes = AnswerBytes(200, "OK");
    }
    if (reply.kind == Reply::Kind::CloseAtOnce) {
        CloseSocket(socket);
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    connection->reply = std::move(reply);
    RequestNotifications(socket, window_, kSocketMessage, kFdRead | kFdWrite | kFdClose);
    connections_[socket] = std::move(connection);
}

void TestStoreServer::Read(Connection& connection) {
    char buffer[65536];
    const int received = ReceiveBytes(connection.socket, buffer, sizeof buffer);
    if (received <= 0) return;
    connection.received.append(buffer, static_cast<std::size_t>(received));
    if (connection.complete) return;
    const std::size_t size = CompleteRequestSize(connection.received);
    if (size == 0) return;
    connection.complete = true;
    requests_.push_back(connection.received.substr(0, size));
    if (connection.reply.kind == Reply::Kind::Answer) Answer(connection, connection.reply.bytes);
}

// A held connection whose request is still incomplete is answered once it is complete,
// and one not yet accepted is answered like any other.
void TestStoreServer::Release(const std::string& bytes) {
    for (Reply& reply : replies_) {
        if (reply.kind == Reply::Kind::HoldOpen) reply = Reply{Reply::Kind::Answer, bytes};
    }
    std::vector<Connection*> held;
    for (auto& entry : connections_) {
        Connection& connection = *entry.second;
        if (connection.reply.kind != Reply::Kind::HoldOpen) continue;
        connection.reply = Reply{Reply::Kind::Answer, bytes};
        if (connection.complete) held.push_back(&connection);
    }
    for (Connection* connection : held) Answer(*connection, bytes);
}

void TestStoreServer::Answer(Connection& connection, const std::string& bytes) {
    connection.outbox += bytes;
    connection.closeWhenSent = true;
    Flush(connection);
}

// Sends what the socket takes; the rest waits for the next write notification.
void TestStoreServer::Flush(Connection& connection) {
    while (!connection.outbox.empty()) {
        const int chunk = static_cast<int>(std::min<std::size_t>(connection.outbox.size(), 65536));
        const int sent = SendBytes(connection.socket, connection.outbox.data(), chunk);
        if (sent <= 0) {
            if (LastSocketError() == kWsaEWouldBlock) return;
            Close(connection.socket);
            return;
        }
        connection.outbox.erase(0, static_cast<std::size_t>(sent));
    }
    if (connection.closeWhenSent) Close(connection.socket);
}

void TestStoreServer::Close(SocketHandle socket) {
    CloseSocket(socket);
    connections_.erase(socket);
}

}  // namespace pelorin::testing
