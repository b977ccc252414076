#include "server/http/Winsock.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "base/RuntimeError.h"
#include "platform/MessageNumbers.h"
#include "platform/MessageQueue.h"
#include "platform/SocketEnding.h"
#include "platform/Sockets.h"
#include "platform/Timers.h"
#include "platform/Window.h"
#include "server/http/LingeringClose.h"
#include "server/http/WinsockErrorText.h"

namespace pelorin {

using namespace platform;

namespace {

// Every socket gets a message number of its own from a range of private window messages.
// The socket's handle alone cannot tell its notifications apart: a closed socket's handle
// is soon reused, and notifications of the closed one may still be queued.
constexpr MessageId kFirstMessage = messages::kSocketWindowFirst;
constexpr MessageId kMessageCount = messages::kSocketWindowCount;

// The completion of SendData, posted to ourselves in the notifications' own form.
constexpr std::uint32_t kSendDoneEvent = 0x4000;

constexpr std::uint32_t kConnectionMask = kFdRead | kFdWrite | kFdClose;
// Connections the system completes while the program has not taken them yet. Beyond it
// the system drops new connections' packets, and each waits a second or more to try
// again: a burst of a few hundred clients must fit.
constexpr int kBacklog = 1024;
constexpr int kReceiveChunk = 64 * 1024;
constexpr int kSendChunk = 1024 * 1024;
// A file's bytes per send call; the system takes what fits in the socket's buffer.
constexpr std::uint64_t kFileChunk = 16u << 20;
// A file this small is taken whole by its first call: every socket's send buffer holds
// at least 4,608 bytes (the floor Linux keeps; Windows starts far above it) and holds
// only the answer's head by then.
constexpr std::uint64_t kTakenAtOnce = 2048;
constexpr int kPiecesPerSend = 64;
// How long a listener rests after the system refused to accept (out of memory, or out of
// sockets where no descriptor can be freed to refuse the connection).
constexpr std::uint32_t kAcceptPauseMs = 200;

// The notification window of the thread's controls and the socket each control owns.
// The window lives while the thread has controls; destroying it drops whatever
// notifications are still queued.
struct NotificationSink {
    WindowHandle window = 0;
    int controls = 0;
    std::uint32_t serial = 0;
    std::unordered_map<SocketHandle, Winsock*> sockets;
    SocketHandle lastAccepted = kInvalidSocket;
    // The connection of the ConnectionRequest being raised and its peer, known from the
    // accept: Accept need not ask the system again.
    SocketHandle requested = kInvalidSocket;
    Ipv4Endpoint requestedPeer;
    std::vector<char> receiveBuffer;  // one receive's bytes on their way to a control
};

thread_local NotificationSink tSink;

[[noreturn]] void ThrowSocketError(int number) {
    throw RuntimeError(number, WinsockControlErrorText(number));
}

[[noreturn]] void ThrowInvalidOperation() {
    throw RuntimeError(Winsock::sckInvalidOp, "Invalid operation at current state");
}

}  // namespace

std::shared_ptr<Winsock> Winsock::Create() {
    return std::shared_ptr<Winsock>(new Winsock);
}

Winsock::Winsock() {
    SocketLibraryStartup();
    if (tSink.controls++ == 0) {
        tSink.window = CreateHiddenWindow("Winsock");
        ReplaceWindowProc(tSink.window, NotificationProc);
    }
}

Winsock::~Winsock() {
    events_ = nullptr;
    Close();
    if (--tSink.controls == 0) {
        CloseAllLingering();
        DestroyWin(tSink.window);
        tSink.window = 0;
    }
    SocketLibraryCleanup();
}

LResult Winsock::NotificationProc(WindowHandle window, MessageId message, WParam wParam,
                                  LParam lParam) {
    if (message == kWmTimer) {
        KillWindowTimer(window, wParam);
        const auto found = tSink.sockets.find(static_cast<SocketHandle>(wParam));
        if (found != tSink.sockets.end()) {
            found->second->ResumeAccepting();
        } else {
            OnLingeringTimer(static_cast<SocketHandle>(wParam));
        }
        return 0;
    }
    if (message < kFirstMessage || message >= kFirstMessage + kMessageCount) {
        return DefaultWindowProc(window, message, wParam, lParam);
    }
    const auto found = tSink.sockets.find(static_cast<SocketHandle>(wParam));
    const auto value = static_cast<std::uintptr_t>(lParam);
    if (found == tSink.sockets.end()) {
        OnLingeringNotification(static_cast<SocketHandle>(wParam), message, LowWord(value));
        return 0;
    }
    if (found->second->message_ != message) return 0;
    // The owner may let go of the control while it handles the event.
    const std::shared_ptr<Winsock> keep = found->second->shared_from_this();
    keep->OnNotification(LowWord(value), static_cast<int>(HighWord(value)));
    return 0;
}

std::int32_t Winsock::LocalPort() const {
    Ipv4Endpoint local;
    if (socket_ != kInvalidSocket && LocalEndpoint(socket_, local) == 0) return local.port;
    return localPort_;
}

void Winsock::SetLocalPort(std::int32_t port) {
    if (port < 0 || port > 65535)
        throw RuntimeError(kInvalidPropertyValue, "Invalid property value");
    localPort_ = port;
}

void Winsock::Listen() {
    if (state_ != sckClosed) ThrowInvalidOperation();
    const SocketHandle s = OpenTcpSocket();
    if (s == kInvalidSocket) ThrowSocketError(LastSocketError());
    const Ipv4Endpoint any{0, static_cast<std::uint16_t>(localPort_)};
    if (BindSocket(s, any) != 0 || ListenSocket(s, kBacklog) != 0) {
        const int error = LastSocketError();
        CloseSocket(s);
        ThrowSocketError(error);
    }
    Open(s, kFdAccept);
    state_ = sckListening;
}

void Winsock::Accept(std::int32_t requestID) {
    if (state_ == sckListening) ThrowInvalidOperation();
    Close();
    const auto s = static_cast<SocketHandle>(requestID);
    tSink.lastAccepted = s;
    Open(s, kConnectionMask);
    Ipv4Endpoint peer = tSink.requestedPeer;
    const bool known = s == tSink.requested || PeerEndpoint(s, peer) == 0;
    remoteHostIP_ = known ? DottedAddressText(peer.address) : "";
    state_ = sckConnected;
}

// Registers the socket under a fresh message number and asks for its notifications.
void Winsock::Open(SocketHandle socket, std::uint32_t mask) {
    message_ = kFirstMessage + (tSink.serial++ % kMessageCount);
    if (RequestNotifications(socket, tSink.window, message_, mask) != 0) {
        const int error = LastSocketError();
        CloseSocket(socket);
        ThrowSocketError(error);
    }
    socket_ = socket;
    tSink.sockets[socket] = this;
}

void Winsock::GetData(std::string& data) {
    if (received_.empty()) {
        data.assign(unread_);
    } else {
        data = std::move(received_);
        received_ = std::string();
        data.append(unread_);
    }
    unread_ = {};
}

void Winsock::SendData(std::string data) {
    if (state_ != sckConnected) ThrowInvalidOperation();
    kept_.push_back(KeptPiece{std::move(data), {}});
    if (!waitingForSpace_) FlushKept();
}

void Winsock::SendFile(ReadableFile file) {
    if (state_ != sckConnected) ThrowInvalidOperation();
    kept_.push_back(KeptPiece{{}, std::move(file)});
    if (!waitingForSpace_) FlushKept();
}

void Winsock::Close() {
    if (socket_ != kInvalidSocket) {
        if (state_ == sckListening)
            KillWindowTimer(tSink.window, static_cast<std::uintptr_t>(socket_));
        tSink.sockets.erase(socket_);
        if (resetArmed_ || !kept_.empty()) {
            // Cut off: the peer must not take what it got for the whole answer.
            ArmReset();
            CloseSocket(socket_);
        } else if (state_ == sckConnected) {
            // The peer may still send, or not have the whole answer yet. The socket goes
            // on under a message number of its own: this control may take another.
            const MessageId ownMessage = kFirstMessage + (tSink.serial++ % kMessageCount);
            CloseWithoutLoss(socket_, tSink.window, ownMessage);
        } else {
            CloseSocket(socket_);
        }
        socket_ = kInvalidSocket;
    }
    state_ = sckClosed;
    remoteHostIP_.clear();
    received_.clear();
    unread_ = {};
    kept_.clear();
    keptOffset_ = 0;
    waitingForSpace_ = false;
    completePosted_ = false;
    peerClosed_ = false;
    resetArmed_ = false;
}

void Winsock::Abort() {
    if (socket_ != kInvalidSocket && state_ != sckListening) ArmReset();
    Close();
}

void Winsock::OnNotification(std::uint32_t event, int error) {
    switch (event) {
        case kFdAccept:
            if (error != 0) {
                PauseAccepting(error);
            } else {
                OnAccept();
            }
            break;
        case kFdRead:
            OnRead();
            break;
        case kFdWrite:
            // Also comes once the connection is made: only a refused send waits for it.
            if (!waitingForSpace_) break;
            waitingForSpace_ = false;
            FlushKept();
            break;
        case kFdClose:
            OnPeerClose(error);
            break;
        case kSendDoneEvent:
            if (error != 0) {
                RaiseError(error);
            } else {
                OnSendDone();
            }
            break;
        default:
            break;
    }
}

void Winsock::OnAccept() {
    if (state_ != sckListening) return;
    Ipv4Endpoint peer;
    const SocketHandle request = AcceptSocket(socket_, &peer);
    if (request == kInvalidSocket) {
        const int error = LastSocketError();
        // A peer that gave up already is no failure of the listener.
        if (error == kWsaEWouldBlock || error == kWsaEConnAborted || error == kWsaEConnReset) {
            return;
        }
        // Out of descriptors, the connection is closed at once: left waiting, its peer
        // would wait for nothing, and the next waiting connection would be reported
        // again at once.
        if (error == kWsaEMFile && RefuseWaitingConnection(socket_) == 0) {
            if (events_ != nullptr) {
                events_->Error(*this, static_cast<std::int16_t>(error),
                               WinsockControlErrorText(error));
            }
            return;
        }
        PauseAccepting(error);
        return;
    }
    tSink.lastAccepted = kInvalidSocket;
    tSink.requested = request;
    tSink.requestedPeer = peer;
    if (events_ != nullptr) events_->ConnectionRequest(*this, static_cast<std::int32_t>(request));
    tSink.requested = kInvalidSocket;
    if (tSink.lastAccepted != request) CloseSocket(request);
}

// The waiting connection stays waiting when the system cannot accept it, and would be
// reported again at once: the listener stops asking for a moment instead of spinning.
void Winsock::PauseAccepting(int error) {
    RequestNotifications(socket_, tSink.window, message_, 0);
    SetWindowTimer(tSink.window, static_cast<std::uintptr_t>(socket_), kAcceptPauseMs);
    if (events_ != nullptr) {
        events_->Error(*this, static_cast<std::int16_t>(error), WinsockControlErrorText(error));
    }
}

void Winsock::ResumeAccepting() {
    if (state_ == sckListening) RequestNotifications(socket_, tSink.window, message_, kFdAccept);
}

void Winsock::OnRead() {
    if (state_ != sckConnected) return;
    const int got = ReceiveChunk();
    if (got > 0) {
        RaiseDataArrival();
        return;
    }
    // 0 is the peer's close, which its own notification reports.
    if (got < 0 && LastSocketError() != kWsaEWouldBlock) RaiseError(LastSocketError());
}

// One receive; its result as ReceiveBytes gives it. The receive goes into a buffer of the
// thread, and its bytes stay there (unread_) for the DataArrival that follows: an owner
// that takes them at once, as owners do, gets them without a buffer of this control's
// own, which would cost an allocation per arrival, and memory per connection besides.
int Winsock::ReceiveChunk() {
    KeepUnread();
    std::vector<char>& buffer = tSink.receiveBuffer;
    buffer.resize(kReceiveChunk);
    const int got = ReceiveBytes(socket_, buffer.data(), kReceiveChunk);
    if (got > 0) unread_ = std::string_view(buffer.data(), static_cast<std::size_t>(got));
    return got;
}

void Winsock::RaiseDataArrival() {
    if (events_ != nullptr) {
        const auto total = std::min<std::size_t>(received_.size() + unread_.size(), INT32_MAX);
        events_->DataArrival(*this, static_cast<std::int32_t>(total));
    }
    KeepUnread();
}

// Bytes the owner left for later move out of the thread's buffer, which the next receive
// (of any control) reuses.
void Winsock::KeepUnread() {
    received_.append(unread_);
    unread_ = {};
}

void Winsock::OnPeerClose(int error) {
    if (state_ != sckConnected) return;
    if (error != 0) {
        RaiseError(error);
        return;
    }
    // Windows may report the close while the last data still waits to be read: it
    // reaches the owner before the close does, a chunk at a time, as it would have
    // without the close. Bounded: the peer sends no more.
    for (int round = 0; round < 1024 && state_ == sckConnected && ReceiveChunk() > 0; ++round) {
        RaiseDataArrival();
    }
    if (state_ != sckConnected) return;  // the owner closed it meanwhile
    // The peer may only have ended its sending and still wait for the answer: closing now
    // would cut off what was handed to SendData and not written yet, and without a length
    // in the answer the peer could not tell. That goes out first; the close comes after.
    if (SendOutstanding()) {
        peerClosed_ = true;
        return;
    }
    RaisePeerClose();
}

void Winsock::RaisePeerClose() {
    state_ = sckClosing;
    if (events_ != nullptr) events_->Close(*this);
}

bool Winsock::SendOutstanding() const {
    return !kept_.empty() || completePosted_;
}

void Winsock::OnSendDone() {
    completePosted_ = false;
    // More data may have been handed over since: its own completion follows.
    if (state_ != sckConnected || !kept_.empty()) return;
    if (events_ != nullptr) events_->SendComplete(*this);
    if (state_ != sckConnected || SendOutstanding()) return;  // closed, or more is coming
    // Nothing more followed the data in this event: what the system held back goes now.
    PushSentBytes(socket_);
    // A peer close that waited for the data.
    if (peerClosed_) RaisePeerClose();
}

void Winsock::RaiseError(int number) {
    if (state_ != sckConnected) return;
    state_ = sckError;
    if (events_ != nullptr) {
        events_->Error(*this, static_cast<std::int16_t>(number), WinsockControlErrorText(number));
    }
}

// Writes kept pieces until the socket takes no more. Each round either writes something
// or ends, so the loop is bounded by the bytes kept.
//
// The writes ask the system to hold back a partly filled packet: an answer handed over
// in pieces (its head, then its body once the head's SendComplete came) then leaves as
// one packet instead of one per piece, each of which would wake the reader. What is
// held goes out when SendComplete found nothing more to send (OnSendDone), or with the
// close, at the latest one event later.
void Winsock::FlushKept() {
    while (!kept_.empty()) {
        const bool file = kept_.front().file.IsOpen();
        const std::uint64_t left = KeptLeft();
        // While a file is partly taken, a close resets, the system's close of a program
        // that died included: set before the first call that may leave some of it (once
        // per file), set back only once the last bytes are taken, never before the call
        // that may take them. A small file is taken whole by one call and needs neither
        // setting; should the system take part of it after all (its memory short), the
        // reset is set right after that call.
        if (file && left > kTakenAtOnce) ArmReset();
        const int sent = file ? SendKeptFile() : SendKeptBytes();
        const int error = sent < 0 ? LastSocketError() : 0;
        const bool fileTaken = file && sent >= 0 && static_cast<std::uint64_t>(sent) >= left;
        if (file && !fileTaken) ArmReset();
        if (sent < 0) {
            if (error == kWsaEWouldBlock) {
                waitingForSpace_ = true;
            } else {
                FailSending(error);
            }
            return;
        }
        if (file && sent == 0 && left > 0) {
            FailSending(kWsaEConnAborted);  // the file ended early
            return;
        }
        // A short write means a full buffer: the next round learns it as would-block.
        DropWritten(static_cast<std::uint64_t>(sent));
        if (fileTaken) DisarmReset();
    }
    if (!completePosted_) {
        completePosted_ = true;
        PostOwnEvent(kSendDoneEvent, 0);
    }
}

// The kept texts at the front, up to the first file, as one write of several pieces.
int Winsock::SendKeptBytes() {
    std::string_view pieces[kPiecesPerSend];
    int count = 0;
    std::size_t total = 0;
    for (std::size_t i = 0; i < kept_.size() && count < kPiecesPerSend; ++i) {
        if (kept_[i].file.IsOpen()) break;
        std::string_view piece(kept_[i].bytes);
        if (i == 0) piece.remove_prefix(static_cast<std::size_t>(keptOffset_));
        piece = piece.substr(0, static_cast<std::size_t>(kSendChunk) - total);
        if (piece.empty()) continue;
        pieces[count++] = piece;
        total += piece.size();
        if (total == static_cast<std::size_t>(kSendChunk)) break;
    }
    return count == 0 ? 0 : SendPieces(socket_, pieces, count, true);
}

// The next part of the file at the front, straight from the file.
int Winsock::SendKeptFile() {
    const std::uint64_t left = KeptLeft();
    if (left == 0) return 0;
    const auto length = static_cast<int>(std::min<std::uint64_t>(left, kFileChunk));
    return SendFromFile(socket_, kept_.front().file, keptOffset_, length);
}

// Nothing kept can go anywhere now; the completion reports the error. Without a length
// in the answer, only a reset can tell the peer that what it got is not all of it.
void Winsock::FailSending(int error) {
    ArmReset();
    kept_.clear();
    keptOffset_ = 0;
    PostOwnEvent(kSendDoneEvent, error);
}

void Winsock::ArmReset() {
    if (resetArmed_) return;
    ResetOnClose(socket_);
    resetArmed_ = true;
}

void Winsock::DisarmReset() {
    if (!resetArmed_) return;
    EndOnClose(socket_);
    resetArmed_ = false;
}

// The bytes of kept_.front() not written yet.
std::uint64_t Winsock::KeptLeft() const {
    const KeptPiece& front = kept_.front();
    const std::uint64_t size = front.file.IsOpen() ? front.file.Size() : front.bytes.size();
    return size - keptOffset_;
}

// Takes `written` bytes off the front of the kept pieces, and the empty pieces there.
void Winsock::DropWritten(std::uint64_t written) {
    bytesSent_ += written;
    while (!kept_.empty()) {
        const std::uint64_t left = KeptLeft();
        if (written < left) {
            keptOffset_ += written;
            return;
        }
        written -= left;
        kept_.erase(kept_.begin());
        keptOffset_ = 0;
    }
}

// Events that SendData finds are raised later from the loop, so that a caller of
// SendData never sees its own handlers run inside the call.
void Winsock::PostOwnEvent(std::uint32_t event, int error) {
    PostMsg(tSink.window, message_, static_cast<WParam>(socket_), MakeSelectLParam(event, error));
}

}  // namespace pelorin
