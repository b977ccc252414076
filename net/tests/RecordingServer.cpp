#include "net/tests/RecordingServer.h"

#include "base/Text.h"
#include "platform/Clock.h"
#include "platform/Sockets.h"
#include "platform/Timers.h"
#include "platform/Window.h"

namespace pelorin::testing {
namespace {

using namespace platform;

constexpr MessageId kNotifyMessage = 2000;
constexpr std::uint32_t kListeningMask = kFdRead | kFdWrite | kFdAccept | kFdClose;
constexpr int kReadPiece = 4096;

// True once the request holds its empty line and as many body bytes as it announced.
bool RequestComplete(const std::string& request) {
    const std::size_t end = request.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    std::size_t announced = 0;
    const std::string head = LowerCase(request.substr(0, end + 2));
    const std::size_t field = head.find("\r\ncontent-length: ");
    if (field != std::string::npos) {
        announced = static_cast<std::size_t>(Val(head.substr(field + 18, 20)));
    }
    return request.size() - (end + 4) >= announced;
}

}  // namespace

RecordingServer::RecordingServer(ServerScript script) : script_(std::move(script)) {
    SocketLibraryStartup();
    window_ = CreateHiddenWindow("recording server");
    SetWindowData(window_, reinterpret_cast<std::intptr_t>(this));
    ReplaceWindowProc(window_, Proc);
    listener_ = OpenTcpSocket();
    BindSocket(listener_, Ipv4Endpoint{ParseDottedAddress("127.0.0.1"), 0});
    ListenSocket(listener_, 5);
    RequestNotifications(listener_, window_, kNotifyMessage, kListeningMask);
    Ipv4Endpoint local;
    LocalEndpoint(listener_, local);
    port_ = local.port;
}

RecordingServer::~RecordingServer() {
    for (const auto& [socket, peer] : peers_) CloseSocket(socket);
    CloseSocket(listener_);
    DestroyWin(window_);
    SocketLibraryCleanup();
}

LResult RecordingServer::Proc(WindowHandle window, MessageId message, WParam wParam,
                              LParam lParam) {
    auto* self = reinterpret_cast<RecordingServer*>(GetWindowData(window));
    const auto socket = static_cast<SocketHandle>(wParam);
    if (message == kWmTimer) {
        self->OnTimer(socket);
        return 0;
    }
    if (message != kNotifyMessage) return DefaultWindowProc(window, message, wParam, lParam);
    switch (LowWord(static_cast<std::uintptr_t>(lParam))) {
        case kFdAccept:
            self->OnAccept();
            break;
        case kFdRead:
            self->OnRead(socket);
            break;
        case kFdWrite:
            self->Flush(socket);
            break;
        case kFdClose:
            self->OnRead(socket);
            if (self->peers_.contains(socket) && !self->peers_[socket].answering) {
                self->Close(socket);  // the client went away before its request was whole
            }
            break;
        default:
            break;
    }
    return 0;
}

void RecordingServer::OnAccept() {
    const SocketHandle socket = AcceptSocket(listener_, nullptr);
    if (socket == kInvalidSocket) return;
    RecordedConnection record;
    record.acceptTick = TickCount();
    connections_.push_back(record);
    if (script_.closeAtOnce) {
        CloseSocket(socket);
        connections_.back().closed = true;
        return;
    }
    peers_[socket].index = connections_.size() - 1;
}

void RecordingServer::OnRead(SocketHandle socket) {
    const auto found = peers_.find(socket);
    if (found == peers_.end()) return;
    Peer& peer = found->second;
    RecordedConnection& record = connections_[peer.index];
    char buffer[kReadPiece];
    const int got = ReceiveBytes(socket, buffer, kReadPiece);
    if (got <= 0) return;
    if (record.firstByteTick == 0) record.firstByteTick = TickCount() | 1u;
    record.request.append(buffer, static_cast<std::size_t>(got));
    if (!peer.answering && RequestComplete(record.request)) StartAnswer(socket);
}

void RecordingServer::StartAnswer(SocketHandle socket) {
    Peer& peer = peers_[socket];
    peer.answering = true;
    if (script_.pauseMs == 0) {
        for (const auto& piece : script_.answer) peer.unsent += piece;
        peer.nextPiece = script_.answer.size();
        Flush(socket);
    } else {
        SetWindowTimer(window_, static_cast<std::uintptr_t>(socket), script_.pauseMs);
    }
}

void RecordingServer::OnTimer(SocketHandle socket) {
    const auto found = peers_.find(socket);
    if (found == peers_.end()) return;
    Peer& peer = found->second;
    if (peer.nextPiece < script_.answer.size()) peer.unsent += script_.answer[peer.nextPiece++];
    if (peer.nextPiece >= script_.answer.size()) {
        KillWindowTimer(window_, static_cast<std::uintptr_t>(socket));
    }
    Flush(socket);
}

void RecordingServer::Flush(SocketHandle socket) {
    const auto found = peers_.find(socket);
    if (found == peers_.end()) return;
    Peer& peer = found->second;
    while (!peer.unsent.empty()) {
        const int sent =
            SendBytes(socket, peer.unsent.data(), static_cast<int>(peer.unsent.size()));
        if (sent <= 0) return;  // would block: the write notification resumes
        peer.unsent.erase(0, static_cast<std::size_t>(sent));
    }
    if (peer.answering && peer.nextPiece >= script_.answer.size()) Close(socket);
}

void RecordingServer::Close(SocketHandle socket) {
    KillWindowTimer(window_, static_cast<std::uintptr_t>(socket));
    connections_[peers_[socket].index].closed = true;
    peers_.erase(socket);
    CloseSocket(socket);
}

}  // namespace pelorin::testing
