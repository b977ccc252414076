#include "server/http/WebServerClient.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "platform/Clock.h"

namespace pelorin {

namespace {

constexpr std::string_view kDefaultServerName = "Pelorin/0.1";

// The status as NumberText writes it. A whole number, as every status is in practice, is
// just its digits, written without formatting a double.
std::string StatusText(double status) {
    if (status == std::trunc(status) && std::fabs(status) < 1e15) {
        return std::to_string(static_cast<long long>(status));
    }
    return NumberText(status);
}

}  // namespace

std::shared_ptr<WebServerClient> WebServerClient::Create() {
    return std::shared_ptr<WebServerClient>(new WebServerClient);
}

// Leaves the connection open, as releasing a request object does; only the slot stops
// reporting to an object that is gone.
WebServerClient::~WebServerClient() {
    ReleaseSocket();
}

void WebServerClient::AcceptClient(std::shared_ptr<CSocket_Server> server, std::int32_t index) {
    Disconnect();
    ResetRequest();
    index_ = index;
    socket_ = std::move(server);
    clientAddress_ = socket_->GetClientIP(index);
    parser_.Reset(true);
    socket_->SetSlotEvents(index, this);
    acceptedAt_ = lastArrival_ = platform::TickCount();
    if (!IsLocalPeer()) RefusePeer();
}

// Only programs on this machine's own address are served. Any other peer learns nothing
// about the store, not even whether a command exists, and it is not read at all: it can
// neither fill the memory with a request nor hold its connection, and the descriptor
// with it, by sending slowly or not at all.
void WebServerClient::RefusePeer() {
    refused_ = true;
    WriteLog([&] { return "Request by " + clientAddress_; });
    SendAnswer("HTTP/1.0", 403, "Forbidden", "text/plain", 0, "", nullptr);
    WriteLog(" Error: forbidden");
}

void WebServerClient::Cancel() {
    Disconnect();
}

void WebServerClient::Disconnect() {
    if (!socket_) return;
    const auto server = socket_;
    const std::int32_t index = index_;
    // After the server closed everything the slot may serve another connection by now;
    // only the slot's own listener may close it.
    const bool ownsSlot = OwnsSlot();
    // Pieces still queued here are part of an answer that will now never be whole.
    const bool cutOff = !sendQueue_.empty();
    sendQueue_.clear();
    sending_ = false;
    ReleaseSocket();
    if (index == 0 || !ownsSlot) return;
    if (cutOff) {
        server->Abort(index);
    } else {
        server->Disconnect(index);
    }
}

void WebServerClient::SendAnswer(std::string_view httpVersion, double status, std::string_view text,
                                 std::string_view contentType, std::int32_t contentLength,
                                 std::string_view serverName, const WebClient_Header* headers) {
    ProzessScope scope("WebServerClient_SendAnswer");
    // The head is one piece: its lines would only be joined again before they are sent.
    constexpr std::string_view crlf = "\r\n";
    std::string head;
    head.reserve(160);
    head.append(httpVersion).append(" ").append(StatusText(status)).append(" ").append(text);
    head.append(crlf).append("Server: ");
    head.append(serverName.empty() ? kDefaultServerName : serverName).append(crlf);
    if (headers != nullptr) {
        for (std::int32_t i = 1; i <= headers->Anzahl; ++i) {
            const auto header = headers->GetHeader(i);
            if (header)
                head.append(header->TheName).append(": ").append(header->TheValue).append(crlf);
        }
    }
    head.append("Content-Type: ").append(contentType).append(crlf);
    if (contentLength != 0)
        head.append("Content-Length: ").append(std::to_string(contentLength)).append(crlf);
    head.append("Connection: Close").append(crlf).append(crlf);
    SendData(std::move(head));
}

void WebServerClient::SendData(std::string data) {
    Send(QueuedPiece{std::move(data), {}});
}

void WebServerClient::SendFile(platform::ReadableFile file) {
    Send(QueuedPiece{{}, std::move(file)});
}

void WebServerClient::Send(QueuedPiece piece) {
    if (!OwnsSlot()) {
        sendQueue_.clear();
        sending_ = false;
        ReleaseSocket();
        return;
    }
    if (sending_) {
        sendQueue_.push_back(std::move(piece));
        return;
    }
    sending_ = true;
    NoteAnswerMoved(platform::TickCount());
    if (piece.file.IsOpen()) {
        socket_->SendFile(index_, std::move(piece.file));
    } else {
        socket_->SendData(index_, std::move(piece.bytes));
    }
}

std::string WebServerClient::GetClientIP() const {
    return OwnsSlot() ? socket_->GetClientIP(index_) : std::string();
}

void WebServerClient::DataArrival(CSocket_Server&, std::int32_t index, const std::string& data) {
    if (index != index_ || refused_ || parser_.Finished()) return;
    lastArrival_ = platform::TickCount();
    const auto keep = shared_from_this();
    parser_.Take(data);
}

void WebServerClient::RequestLineRead(RequestParser&) {
    ProzessScope scope("Event WebServerClient_GetAnswer");
    if (events_ != nullptr) events_->GetAnswer(*this);
}

void WebServerClient::HeaderAdded(RequestParser&, const std::shared_ptr<OneHeader>& header) {
    ProzessScope scope("Event WebServerClient_NewHeader");
    if (events_ != nullptr) events_->NewHeader(*this, header);
}

void WebServerClient::BodyArrived(RequestParser&, std::string_view piece) {
    if (events_ != nullptr) events_->BodyArrival(*this, piece);
}

void WebServerClient::RequestComplete(RequestParser&) {
    if (events_ != nullptr) events_->ReadyForData(*this);
}

// Answers 400 with the error body; the connection closes once that has been sent.
void WebServerClient::RequestRefused(RequestParser&, int number) {
    refused_ = true;
    const std::string body =
        "Fehler " + std::to_string(number) + ": " + std::string(RuntimeErrorText(number));
    WriteLog([&] { return "Request by " + clientAddress_; });
    WriteLog([&] { return " Error: " + body; });
    SendAnswer("HTTP/1.0", 400, "Bad Request", "text/plain", 0, "", nullptr);
    SendData(body);
}

void WebServerClient::CodingNotImplemented(RequestParser&) {
    refused_ = true;
    WriteLog([&] { return "Request by " + clientAddress_; });
    WriteLog([] { return std::string(" Error: transfer coding not implemented"); });
    SendAnswer("HTTP/1.0", 501, "Not Implemented", "text/plain", 0, "", nullptr);
    SendData("");
}

void WebServerClient::SendComplete(CSocket_Server&, std::int32_t index) {
    if (index != index_) return;
    const auto keep = shared_from_this();
    sending_ = false;
    if (!sendQueue_.empty()) {
        NoteAnswerMoved(platform::TickCount());
        FlushQueue();
        return;
    }
    if (refused_) {
        Disconnect();
        ProzessScope scope("Event WebServerClient_ClientCancelled");
        if (events_ != nullptr) events_->ClientCancelled(*this);
        return;
    }
    ProzessScope scope("Event WebServerClient_SendComplete");
    if (events_ != nullptr) events_->SendComplete(*this);
}

// Hands everything queued to the socket as one outstanding send: the pieces go out in
// order and the socket completes once, after the last. Small pieces are joined, so that
// the socket writes them with one call; a large one, or a file, is passed on as it is.
void WebServerClient::FlushQueue() {
    constexpr std::size_t kJoinedPieceSize = 16 * 1024;
    sending_ = true;
    std::vector<QueuedPiece> pieces;
    pieces.swap(sendQueue_);
    std::string joined;
    bool handedOver = false;
    for (QueuedPiece& piece : pieces) {
        const bool file = piece.file.IsOpen();
        if (!file && piece.bytes.size() <= kJoinedPieceSize && joined.size() < kJoinedPieceSize) {
            joined += piece.bytes;
            continue;
        }
        if (!joined.empty()) socket_->SendData(index_, std::move(joined));
        joined.clear();
        if (file) {
            socket_->SendFile(index_, std::move(piece.file));
        } else {
            socket_->SendData(index_, std::move(piece.bytes));
        }
        handedOver = true;
    }
    // Queued pieces that were all empty still need the socket's completion, or the send
    // would never end.
    if (!joined.empty() || !handedOver) socket_->SendData(index_, std::move(joined));
    // The room stays for the next pieces.
    pieces.clear();
    if (sendQueue_.empty()) sendQueue_.swap(pieces);
}

void WebServerClient::Closed(CSocket_Server&, std::int32_t index) {
    if (index != index_) return;
    const auto keep = shared_from_this();
    ProzessScope scope("Event WebServerClient_ClientCancelled");
    ProzessInfo([&] {
        return "myPort=" + (socket_ ? std::to_string(socket_->GetPort(0))
                                    : std::string("Socket-instanz not available"));
    });
    ProzessInfo([&] { return "IP=" + clientAddress_; });
    ReleaseSocket();
    if (events_ != nullptr) events_->ClientCancelled(*this);
}

void WebServerClient::Error(CSocket_Server&, std::int32_t index, std::int16_t number,
                            const std::string& description) {
    if (index != index_) return;
    const auto keep = shared_from_this();
    ReleaseSocket();
    ProzessScope scope("Event WebServerClient_Error");
    if (events_ != nullptr) events_->Error(*this, number, description);
}

bool WebServerClient::CheckTimeLimits(std::uint32_t now, const ConnectionTimeLimits& limits) {
    if (!OwnsSlot()) return false;
    if (sending_) {
        const std::uint64_t taken = socket_->GetBytesSent(index_);
        if (taken != answerBytesSeen_) NoteAnswerMoved(now);
        if (platform::ElapsedMs(answerMovedAt_, now) < static_cast<std::int32_t>(limits.answerMs))
            return false;
        CloseForTimeLimit("answer");
        return true;
    }
    if (!parser_.HeadRead()) {
        if (platform::ElapsedMs(acceptedAt_, now) < static_cast<std::int32_t>(limits.headMs))
            return false;
        CloseForTimeLimit("head");
        return true;
    }
    // A complete request waits for its owner's answer, which is no matter of the peer.
    if (parser_.Finished()) return false;
    if (platform::ElapsedMs(lastArrival_, now) < static_cast<std::int32_t>(limits.bodyMs))
        return false;
    CloseForTimeLimit("body");
    return true;
}

// The answer moved: the socket took bytes of it, or a send began.
void WebServerClient::NoteAnswerMoved(std::uint32_t now) {
    answerMovedAt_ = now;
    answerBytesSeen_ = socket_->GetBytesSent(index_);
}

void WebServerClient::CloseForTimeLimit(std::string_view part) {
    const auto keep = shared_from_this();
    WriteLog([&] { return "Request by " + clientAddress_; });
    WriteLog([&] { return " Error: time limit of the " + std::string(part); });
    Disconnect();
    ProzessScope scope("Event WebServerClient_ClientCancelled");
    if (events_ != nullptr) events_->ClientCancelled(*this);
}

bool WebServerClient::OwnsSlot() const {
    return socket_ && index_ != 0 &&
           socket_->SlotEvents(index_) == static_cast<const CSocket_ServerEvents*>(this);
}

void WebServerClient::ReleaseSocket() {
    if (OwnsSlot()) socket_->SetSlotEvents(index_, nullptr);
    socket_.reset();
    index_ = 0;
}

void WebServerClient::ResetRequest() {
    parser_.Reset(false);
    sendQueue_.clear();
    sending_ = false;
    refused_ = false;
}

bool WebServerClient::IsLocalPeer() const {
    return clientAddress_ == kLocalPeer;
}

}  // namespace pelorin
