#include "testing/ScriptedHttpServer.h"

#include <algorithm>
#include <stdexcept>

#include "base/Text.h"
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/SocketEnding.h"
#include "platform/Sockets.h"
#include "platform/Timers.h"
#include "platform/Window.h"

namespace pelorin::testing {

using namespace platform;

namespace {

// Any number does: the window is the server's own.
constexpr MessageId kSocketMessage = kWmUser + 7;
constexpr std::uint32_t kLoopback = 0x0100007Fu;  // 127.0.0.1 in network byte order
constexpr std::size_t kChunk = 65536;

// The size of the complete request at the start of `bytes`: the head up to its empty line
// and as many body bytes as it announces; 0 while it is incomplete.
std::size_t CompleteRequestSize(const std::string& bytes) {
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string::npos) return 0;
    const std::size_t bodyStart = end + 4;
    std::size_t length = 0;
    const std::string head = LowerCase(std::string_view(bytes).substr(0, end + 2));
    const std::size_t field = head.find("\r\ncontent-length: ");
    if (field != std::string::npos) {
        length = static_cast<std::size_t>(Val(std::string_view(head).substr(field + 18)));
    }
    return bytes.size() >= bodyStart + length ? bodyStart + length : 0;
}

}  // namespace

struct ScriptedHttpServer::Connection {
    SocketHandle socket = kInvalidSocket;
    std::size_t record = 0;  // into records_
    Reply reply;
    bool complete = false;   // the whole request has arrived
    bool answering = false;  // the reply's pieces are going out
    std::size_t nextPiece = 0;
    std::string outbox;  // bytes the socket has not taken yet
};

std::string AnswerBytes(int status, const std::string& message, const std::string& body) {
    return "HTTP/1.0 " + std::to_string(status) + " " + message + "\r\n\r\n" + body;
}

ScriptedHttpServer::ScriptedHttpServer(Reply standing) : standing_(std::move(standing)) {
    if (SocketLibraryStartup() != 0) throw std::runtime_error("no socket library");
    window_ = CreateHiddenWindow("ScriptedHttpServer");
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

ScriptedHttpServer::~ScriptedHttpServer() {
    for (auto& entry : connections_) CloseSocket(entry.first);
    CloseSocket(listener_);
    DestroyWin(window_);
    SocketLibraryCleanup();
}

LResult ScriptedHttpServer::Proc(WindowHandle window, MessageId message, WParam wParam,
                                 LParam lParam) {
    auto* server = reinterpret_cast<ScriptedHttpServer*>(GetWindowData(window));
    const auto socket = static_cast<SocketHandle>(wParam);
    if (server != nullptr && message == kWmTimer) {
        server->NextPiece(socket);
        return 0;
    }
    if (server == nullptr || message != kSocketMessage) {
        return DefaultWindowProc(window, message, wParam, lParam);
    }
    server->OnSocketEvent(socket, LowWord(static_cast<std::uintptr_t>(lParam)));
    return 0;
}

void ScriptedHttpServer::OnSocketEvent(SocketHandle socket, std::uint32_t event) {
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
        Read(connection);  // may start the answer
        // An answer on its way goes on: the peer may only have ended its sending.
        if (connections_.contains(socket) && !connection.answering) Close(socket);
    }
}

void ScriptedHttpServer::Accept() {
    const SocketHandle socket = AcceptSocket(listener_, nullptr);
    if (socket == kInvalidSocket) return;
    records_.push_back(RecordedConnection{.acceptTick = TickCount()});
    Reply reply = standing_;
    if (!replies_.empty()) {
        reply = std::move(replies_.front());
        replies_.pop_front();
    }
    if (reply.kind == Reply::Kind::CloseAtOnce) {
        CloseSocket(socket);
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    connection->record = records_.size() - 1;
    connection->reply = std::move(reply);
    RequestNotifications(socket, window_, kSocketMessage, kFdRead | kFdWrite | kFdClose);
    connections_[socket] = std::move(connection);
}

void ScriptedHttpServer::Read(Connection& connection) {
    char buffer[kChunk];
    const int received = ReceiveBytes(connection.socket, buffer, static_cast<int>(kChunk));
    if (received <= 0) return;
    RecordedConnection& record = records_[connection.record];
    if (record.firstByteTick == 0) record.firstByteTick = TickCount() | 1u;
    record.received.append(buffer, static_cast<std::size_t>(received));
    if (connection.complete) return;
    const std::size_t size = CompleteRequestSize(record.received);
    if (size == 0) return;
    connection.complete = true;
    requests_.push_back(record.received.substr(0, size));
    if (connection.reply.kind == Reply::Kind::Answer) StartAnswer(connection);
}

// A held connection whose request is still incomplete is answered once it is complete,
// and one not yet accepted is answered like any other.
void ScriptedHttpServer::Release(const std::string& bytes) {
    const Reply answer{.pieces = {bytes}};
    for (Reply& reply : replies_) {
        if (reply.kind == Reply::Kind::HoldOpen) reply = answer;
    }
    std::vector<SocketHandle> held;
    for (auto& [socket, connection] : connections_) {
        if (connection->reply.kind != Reply::Kind::HoldOpen) continue;
        connection->reply = answer;
        if (connection->complete) held.push_back(socket);
    }
    for (const SocketHandle socket : held) StartAnswer(*connections_.at(socket));
}

void ScriptedHttpServer::StartAnswer(Connection& connection) {
    connection.answering = true;
    const Reply& reply = connection.reply;
    if (reply.pauseMs != 0) {
        SetWindowTimer(window_, static_cast<std::uintptr_t>(connection.socket), reply.pauseMs);
        return;
    }
    for (const auto& piece : reply.pieces) connection.outbox += piece;
    connection.nextPiece = reply.pieces.size();
    Flush(connection);
}

void ScriptedHttpServer::NextPiece(SocketHandle socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& connection = *it->second;
    const auto& pieces = connection.reply.pieces;
    if (connection.nextPiece < pieces.size()) connection.outbox += pieces[connection.nextPiece++];
    if (connection.nextPiece >= pieces.size()) {
        KillWindowTimer(window_, static_cast<std::uintptr_t>(socket));
    }
    Flush(connection);
}

// Sends what the socket takes; the rest waits for the next write notification. The
// connection closes once the whole answer has gone out.
void ScriptedHttpServer::Flush(Connection& connection) {
    while (!connection.outbox.empty()) {
        const std::size_t chunk = std::min(connection.outbox.size(), kChunk);
        const int sent =
            SendBytes(connection.socket, connection.outbox.data(), static_cast<int>(chunk));
        if (sent <= 0) {
            if (LastSocketError() != kWsaEWouldBlock) Close(connection.socket);
            return;
        }
        connection.outbox.erase(0, static_cast<std::size_t>(sent));
    }
    if (connection.answering && connection.nextPiece >= connection.reply.pieces.size()) {
        if (connection.reply.resetAtEnd) ResetOnClose(connection.socket);
        Close(connection.socket);
    }
}

void ScriptedHttpServer::Close(SocketHandle socket) {
    KillWindowTimer(window_, static_cast<std::uintptr_t>(socket));
    CloseSocket(socket);
    connections_.erase(socket);
}

}  // namespace pelorin::testing
