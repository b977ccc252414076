#include "server/WebServerClient.h"

#include <algorithm>
#include <cstring>

#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace pelorin {

namespace {

// Line positions are 16-bit: a line's carriage return must stand within the first
// 32,767 bytes of the receive buffer. A longer line can never be taken, so waiting for
// its end would only let the buffer grow without bound.
constexpr std::size_t kMaxLineEnd = 32767;

constexpr std::string_view kDefaultServerName = "Pelorin/0.1";

std::string WithoutLineFeeds(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(line),
                 [](char c) { return c != '\n'; });
    return line;
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
    socket_->SetSlotEvents(index, this);
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
    ReleaseSocket();
    if (index != 0 && ownsSlot) server->Disconnect(index);
}

void WebServerClient::SendAnswer(std::string_view httpVersion, double status, std::string_view text,
                                 std::string_view contentType, std::int32_t contentLength,
                                 std::string_view serverName, const WebClient_Header* headers) {
    ProzessScope scope("WebServerClient_SendAnswer");
    const std::string crlf = "\r\n";
    SendData(std::string(httpVersion) + " " + NumberText(status) + " " + std::string(text) + crlf);
    SendData("Server: " + std::string(serverName.empty() ? kDefaultServerName : serverName) + crlf);
    if (headers != nullptr) {
        for (std::int32_t i = 1; i <= headers->Anzahl; ++i) {
            const auto header = headers->GetHeader(i);
            if (header) SendData(header->TheName + ": " + header->TheValue + crlf);
        }
    }
    SendData("Content-Type: " + std::string(contentType) + crlf);
    if (contentLength != 0) SendData("Content-Length: " + std::to_string(contentLength) + crlf);
    SendData("Connection: Close" + crlf);
    SendData(crlf);
}

void WebServerClient::SendData(std::string data) {
    if (!OwnsSlot()) {
        sendQueue_.clear();
        sending_ = false;
        ReleaseSocket();
        return;
    }
    if (sending_) {
        sendQueue_.push_back(std::move(data));
        return;
    }
    sending_ = true;
    socket_->SendData(index_, std::move(data));
}

std::string WebServerClient::GetClientIP() const {
    return OwnsSlot() ? socket_->GetClientIP(index_) : std::string();
}

void WebServerClient::DataArrival(CSocket_Server&, std::int32_t index, const std::string& data) {
    if (index != index_ || state_ == ParseState::Complete) return;
    const auto keep = shared_from_this();
    std::size_t skip = 0;
    if (lineFeedMayFollow_ && !data.empty()) {
        lineFeedMayFollow_ = false;
        if (data.front() == '\n') skip = 1;
    }
    if (state_ == ParseState::Body) {
        // Body data goes straight to the body, without a stop in the receive buffer.
        TakeBody(std::string_view(data).substr(skip));
        return;
    }
    receiveBuffer_.append(data, skip);
    Parse();
}

// Takes lines until one is incomplete or the request is; the body step runs in the same
// pass as the empty line, so a request without body is complete at its empty line.
void WebServerClient::Parse() {
    while (state_ != ParseState::Complete) {
        if (state_ == ParseState::Body) {
            TakeBody(std::string_view(receiveBuffer_)
                         .substr(std::min(consumed_, receiveBuffer_.size())));
            break;
        }
        std::string line;
        const LineResult result = TakeLine(line);
        if (result == LineResult::NeedMore) break;
        if (result == LineResult::TooLong) {
            Refuse(errors::kOverflow);
            break;
        }
        if (state_ == ParseState::RequestLine) {
            ParseRequestLine(line);
            state_ = ParseState::Headers;
            ProzessScope scope("Event WebServerClient_GetAnswer");
            if (events_ != nullptr) events_->GetAnswer(*this);
        } else {
            ParseHeaderLine(line);
        }
    }
    receiveBuffer_.erase(0, std::min(consumed_, receiveBuffer_.size()));
    consumed_ = 0;
}

// The next line ends at a carriage return; a line feed right after it belongs to it, and
// line feeds elsewhere are dropped (a line feed alone never ends a line).
WebServerClient::LineResult WebServerClient::TakeLine(std::string& line) {
    const std::string_view pending = std::string_view(receiveBuffer_).substr(consumed_);
    const std::size_t searched = std::min(pending.size(), kMaxLineEnd);
    const auto* cr = static_cast<const char*>(std::memchr(pending.data(), '\r', searched));
    if (cr == nullptr) {
        return pending.size() >= kMaxLineEnd ? LineResult::TooLong : LineResult::NeedMore;
    }
    const auto end = static_cast<std::size_t>(cr - pending.data());
    line = WithoutLineFeeds(pending.substr(0, end));
    std::size_t next = end + 1;
    if (next == pending.size()) {
        // Its line feed may come with the next data; it must not start the body then.
        lineFeedMayFollow_ = true;
    } else if (pending[next] == '\n') {
        ++next;
    }
    consumed_ += next;
    return LineResult::Line;
}

void WebServerClient::ParseRequestLine(const std::string& line) {
    const std::size_t first = line.find(' ');
    if (first == std::string::npos) return;
    ClientCommand = line.substr(0, first);
    const std::string rest = line.substr(first + 1);
    const std::size_t second = rest.find(' ');
    if (second == std::string::npos) return;
    ClientPage = rest.substr(0, second);
    ClientHTTPVersion = rest.substr(second + 1);
}

void WebServerClient::ParseHeaderLine(const std::string& line) {
    if (TrimSpaces(line).empty()) {
        state_ = ParseState::Body;
        return;
    }
    const std::size_t separator = line.find(": ");
    if (separator == std::string::npos) return;
    const std::string name = line.substr(0, separator);
    const std::string value = line.substr(separator + 2);
    if (UpperCase(name) == "CONTENT-LENGTH") {
        TakeContentLength(value);
        return;
    }
    // Such a peer only ever gets 403: like its body, its headers are of no use, and
    // keeping them would let it fill the memory with up to a list's worth of long lines.
    if (!IsLocalPeer()) return;
    if (!ClientHeaders) ClientHeaders = std::make_shared<WebClient_Header>();
    const auto header = CreateHeader(name, value);
    try {
        ClientHeaders->NewHeader(header);
    } catch (const RuntimeError& e) {
        Refuse(e.number());  // more headers than a list holds
        return;
    }
    ProzessScope scope("Event WebServerClient_NewHeader");
    if (events_ != nullptr) events_->NewHeader(*this, header);
}

// A length outside 0..2^31-1 cannot describe a body this connection could take.
void WebServerClient::TakeContentLength(const std::string& value) {
    const auto length = RoundToInt32(Val(value));
    if (!length) {
        Refuse(errors::kOverflow);
    } else if (*length < 0) {
        Refuse(errors::kInvalidProcedureCall);
    } else {
        ClientContentLength = *length;
    }
}

void WebServerClient::TakeBody(std::string_view bytes) {
    if (!IsLocalPeer()) {
        // Such a peer only ever gets 403: its body is of no use, so it is neither waited
        // for nor held in memory.
        ClientPostData.clear();
        Complete();
        return;
    }
    ClientPostData.append(bytes);
    receiveBuffer_.clear();
    consumed_ = 0;
    const auto length = static_cast<std::size_t>(ClientContentLength);
    if (ClientPostData.size() < length) return;
    ClientPostData.resize(length);
    Complete();
}

void WebServerClient::Complete() {
    state_ = ParseState::Complete;
    receiveBuffer_.clear();
    consumed_ = 0;
    if (events_ != nullptr) events_->ReadyForData(*this);
}

// Answers 400 with the error body; the connection closes once that has been sent.
void WebServerClient::Refuse(int number) {
    state_ = ParseState::Complete;
    refused_ = true;
    receiveBuffer_.clear();
    consumed_ = 0;
    const std::string body =
        "Fehler " + std::to_string(number) + ": " + std::string(RuntimeErrorText(number));
    WriteLog("Request by " + clientAddress_);
    WriteLog(" Error: " + body);
    SendAnswer("HTTP/1.0", 400, "Bad Request", "text/plain", 0, "", nullptr);
    SendData(body);
}

void WebServerClient::SendComplete(CSocket_Server&, std::int32_t index) {
    if (index != index_) return;
    const auto keep = shared_from_this();
    sending_ = false;
    if (!sendQueue_.empty()) {
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
// order and the socket completes once, after the last.
void WebServerClient::FlushQueue() {
    sending_ = true;
    std::deque<std::string> pieces;
    pieces.swap(sendQueue_);
    for (std::string& piece : pieces) socket_->SendData(index_, std::move(piece));
}

void WebServerClient::Closed(CSocket_Server&, std::int32_t index) {
    if (index != index_) return;
    const auto keep = shared_from_this();
    ProzessScope scope("Event WebServerClient_ClientCancelled");
    ProzessInfo("myPort=" + (socket_ ? std::to_string(socket_->GetPort(0))
                                     : std::string("Socket-instanz not available")));
    ProzessInfo("IP=" + clientAddress_);
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
    ClientCommand.clear();
    ClientPage.clear();
    ClientHTTPVersion.clear();
    ClientHeaders.reset();
    ClientContentLength = 0;
    ClientPostData.clear();
    sendQueue_.clear();
    sending_ = false;
    state_ = ParseState::RequestLine;
    receiveBuffer_.clear();
    consumed_ = 0;
    lineFeedMayFollow_ = false;
    refused_ = false;
}

bool WebServerClient::IsLocalPeer() const {
    return clientAddress_ == kLocalPeer;
}

}  // namespace pelorin
