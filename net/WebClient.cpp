#include "net/WebClient.h"

#include <algorithm>
#include <utility>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "net/ATimer.h"
#include "net/CSocket.h"
#include "net/SocketErrorText.h"
#include "net/URL_Modul.h"
#include "net/httpCookie.h"
#include "platform/ThreadState.h"

namespace pelorin {
namespace {

// The protocol's line end. A constant rather than the thread's line break, so a request
// is well formed even on a thread whose start routine never ran.
constexpr std::string_view kCrLf = "\r\n";
// The request waits this long after the connection: servers rely on the pause.
constexpr std::int32_t kRequestDelayMs = 100;
constexpr std::int32_t kTimerResolution = 30000;

struct Defaults {
    std::string proxyServer;
    std::int32_t proxyPort = 0;
    std::string userAgent{WebClient_Modul::kClientLibraryUserAgent};
};

Defaults& ThreadDefaults() {
    return platform::ThreadState<Defaults>();
}

// The leading number of a port text, rounded half to even. Error 6 when it does not fit.
std::int32_t PortNumber(std::string_view text) {
    const auto port = RoundToInt32(Val(text));
    if (!port) throw RuntimeError(errors::kOverflow);
    return *port;
}

// A request body goes to the socket in pieces of this size, so what waits in the
// socket's queue stays small whatever the body's length.
constexpr std::size_t kBodyPieceSize = 64 * 1024;

}  // namespace

namespace WebClient_Modul {

void ResetDefaultProxy() {
    ThreadDefaults().proxyServer.clear();
    ThreadDefaults().proxyPort = 0;
}
const std::string& DefaultProxyServer() {
    return ThreadDefaults().proxyServer;
}
std::int32_t DefaultProxyPort() {
    return ThreadDefaults().proxyPort;
}
void SetDefaultUserAgent(std::string_view userAgent) {
    ThreadDefaults().userAgent = userAgent;
}
const std::string& DefaultUserAgent() {
    return ThreadDefaults().userAgent;
}

}  // namespace WebClient_Modul

// Receives the events of the owned socket and timers and hands them to the web client's
// handlers. Each handler runs with the web client kept alive, so an owner may drop it
// from inside an event.
class WebClient::Listener : public CSocketEvents, public ATimerEvents, public AnswerParserEvents {
  public:
    explicit Listener(WebClient& client) : client_(client) {}

    void Connect(CSocket&) override {
        const auto keep = client_.shared_from_this();
        client_.Socket_Connect();
    }
    void Closed(CSocket&) override {
        const auto keep = client_.shared_from_this();
        client_.Socket_Closed();
    }
    void DataArrival(CSocket&, const std::string& bytes, const std::string&) override {
        const auto keep = client_.shared_from_this();
        client_.Socket_DataArrival(bytes);
    }
    void SendComplete(CSocket&) override {
        const auto keep = client_.shared_from_this();
        client_.Socket_SendComplete();
    }
    void Error(CSocket&, std::int32_t number, const std::string& description) override {
        const auto keep = client_.shared_from_this();
        client_.Socket_Error(number, description);
    }
    void Timer(ATimer& sender) override {
        const auto keep = client_.shared_from_this();
        if (&sender == client_.sendRequestTimer_.get()) {
            client_.SendRequestTimer_Timer();
        } else if (&sender == client_.myTimer_.get()) {
            client_.MyTimer_Timer();
        }
    }
    // The parser raises its events from inside DataArrival or Closed, which keep the web
    // client alive already.
    void StatusLineRead(AnswerParser&, const std::string& version, double number,
                        const std::string& message) override {
        client_.Parser_StatusLine(version, number, message);
    }
    void HeaderRead(AnswerParser&, const std::string& name, const std::string& value) override {
        client_.Parser_Header(name, value);
    }
    void HeadEnded(AnswerParser&) override { client_.Parser_HeadEnded(); }
    void BodyArrived(AnswerParser&, std::string_view piece) override { client_.Parser_Body(piece); }
    void AnswerEnded(AnswerParser&, bool) override { client_.Parser_Ended(); }

  private:
    WebClient& client_;
};

std::shared_ptr<WebClient> WebClient::Create() {
    return std::shared_ptr<WebClient>(new WebClient);
}

WebClient::WebClient()
    : answer_Headers(std::make_shared<WebClient_Header>()),
      ProxyServer(ThreadDefaults().proxyServer),
      ProxyPort(ThreadDefaults().proxyPort),
      listener_(std::make_unique<Listener>(*this)),
      socket_(CSocket::Create()),
      myTimer_(ATimer::Create()),
      sendRequestTimer_(ATimer::Create()) {
    socket_->SetEvents(listener_.get());
    myTimer_->SetEvents(listener_.get());
    sendRequestTimer_->SetEvents(listener_.get());
    parser_.SetEvents(listener_.get());
}

WebClient::~WebClient() {
    // The registries would keep a running timer and the socket alive, still pointing at
    // this object's listener.
    sendRequestTimer_->SetEvents(nullptr);
    sendRequestTimer_->StoppTimer();
    myTimer_->SetEvents(nullptr);
    myTimer_->StoppTimer();
    socket_->SetEvents(nullptr);
    socket_->Cancel();
}

void WebClient::GetPage(std::string_view Adresse, std::string_view HTTP_Command,
                        std::string_view HTTP_Version, std::string_view HTTP_Referer,
                        std::string_view HTTP_UserAgent, std::string_view HTTP_Content,
                        std::string_view HTTP_ContentType, const WebClientHeaders& otherHeaders,
                        const WebClientCookies& HTTP_Cookies) {
    const auto keep = shared_from_this();
    ProzessScope scope("WebClient_GetPage");

    // The address is checked before anything changes, so a bad one leaves the object as
    // it was.
    const std::string_view address = WithoutScheme(Adresse);
    std::string_view hostPart, page;
    SplitHostAndPath(address, hostPart, page);
    std::string_view server = hostPart;
    std::int32_t port = 80;
    if (const std::size_t colon = hostPart.find(':'); colon != std::string_view::npos) {
        port = PortNumber(hostPart.substr(colon + 1));
        server = hostPart.substr(0, colon);
    }

    ResetAnswer();

    address_ = "http://" + std::string(address);
    ProzessInfo([&] { return "myAddress: " + address_; });
    server_ = server;
    ProzessInfo([&] { return "myServer: " + server_; });
    port_ = port;
    ProzessInfo([&] { return "myPort: " + std::to_string(port_); });
    command_ = HTTP_Command;
    ProzessInfo([&] { return "myCommand: " + command_; });
    page_ = page;
    ProzessInfo([&] { return "myPage: " + page_; });
    httpVersion_ = HTTP_Version;
    ProzessInfo([&] { return "myHTTPVersion: " + httpVersion_; });
    referer_ = HTTP_Referer;
    ProzessInfo([&] { return "myReferer: " + referer_; });
    userAgent_ = HTTP_UserAgent.empty() ? ThreadDefaults().userAgent : std::string(HTTP_UserAgent);
    ProzessInfo([&] { return "myUserAgent: " + userAgent_; });
    content_ = HTTP_Content;
    ProzessInfo([&] { return "Len(myContent) = " + std::to_string(content_.size()); });
    contentType_ = HTTP_ContentType;
    body_ = std::exchange(nextBody_, {});
    if (body_.read) {
        ProzessInfo([&] { return "Len(myBody) = " + std::to_string(body_.length); });
    }

    SetOtherHeaders(otherHeaders);
    SetCookies(HTTP_Cookies);
    ConnectToTarget();
    ProzessInfo("End");
}

void WebClient::SetRequestBody(WebClientBody body) {
    nextBody_ = std::move(body);
}

void WebClient::SetOtherHeaders(const WebClientHeaders& otherHeaders) {
    const auto* list = std::get_if<std::shared_ptr<WebClient_Header>>(&otherHeaders);
    const auto* lines = std::get_if<std::string>(&otherHeaders);
    otherHeaders_.clear();
    if (list != nullptr && *list) {
        ProzessInfo("TypeOf otherHeaders Is WebClient_Header");
        const WebClient_Header& headers = **list;
        for (std::int32_t i = 1; i <= std::min(headers.Anzahl, WebClient_Header::kMaxHeaders);
             ++i) {
            const auto header = headers.GetHeader(i);
            if (header)
                otherHeaders_ += header->TheName + ": " + header->TheValue + std::string(kCrLf);
        }
    } else if (lines != nullptr) {
        ProzessInfo("TypeOf otherHeaders Is 'something else' (perhaps a string)");
        otherHeaders_ = *lines;
    } else {
        ProzessInfo("ohterHeaders Is Nothing");
    }
    ProzessInfo([&] { return "myOtherHeaders: " + otherHeaders_; });
}

void WebClient::SetCookies(const WebClientCookies& HTTP_Cookies) {
    const auto* jar = std::get_if<std::shared_ptr<httpCookie>>(&HTTP_Cookies);
    const auto* text = std::get_if<std::string>(&HTTP_Cookies);
    cookies_.clear();
    if (jar != nullptr && *jar) {
        ProzessInfo("TypeOf HTTP_Cookies Is httpCookie");
        cookies_ = (*jar)->GetString(address_);
    } else if (text != nullptr) {
        ProzessInfo("TypeOf HTTP_Cookies Is 'something else' (perhaps a string)");
        cookies_ = *text;
    } else {
        ProzessInfo("HTTP_Cookies Is Nothing");
    }
    ProzessInfo([&] { return "myCookies: " + cookies_; });
}

void WebClient::ConnectToTarget() {
    // A request still waiting to be written belongs to the connection being replaced.
    sendRequestTimer_->StoppTimer();
    requestWritten_ = false;
    bodyPending_ = false;
    if (!ProxyServer.empty()) {
        ProzessInfo([&] {
            return "use following proxy -> " + ProxyServer + ":" + std::to_string(ProxyPort);
        });
        socket_->Connect(ProxyServer, ProxyPort);
    } else {
        ProzessInfo("use a direct connection to server");
        socket_->Connect(server_, port_);
    }
}

void WebClient::Again(std::int32_t WaitTime) {
    myTimer_->Delay = WaitTime;
    myTimer_->Resolution = kTimerResolution;
    myTimer_->StartTimer();
}

void WebClient::MyTimer_Timer() {
    myTimer_->StoppTimer();
    // The repeated request gets a whole answer of its own; what arrived before belongs to
    // the attempt that is given up.
    ResetAnswer();
    ConnectToTarget();
}

void WebClient::ResetAnswer() {
    parser_.Reset();
    Data.clear();
    answer_Headers->DeleteHeaders();
}

// Cancelling or disconnecting from inside an event ends the parsing of the arrival too.
void WebClient::Cancel() {
    parser_.Reset();
    bodyPending_ = false;
    myTimer_->StoppTimer();
    socket_->SetEvents(nullptr);
    socket_->Cancel();
    sendRequestTimer_->StoppTimer();
    // A cancelled socket has left the registry and would never report again; a fresh one
    // keeps the web client usable for the next GetPage.
    socket_ = CSocket::Create();
    socket_->SetEvents(listener_.get());
}

void WebClient::Disconnect() {
    parser_.Reset();
    bodyPending_ = false;
    myTimer_->StoppTimer();
    socket_->Disconnect();
}

void WebClient::SetProxy(std::string_view TheAddress) {
    if (const std::size_t colon = TheAddress.find(':'); colon != std::string_view::npos) {
        const std::int32_t port = PortNumber(TheAddress.substr(colon + 1));
        ProxyServer = TheAddress.substr(0, colon);
        ProxyPort = port;
    } else {
        ProxyServer = TheAddress;
        ProxyPort = 8080;
    }
}

void WebClient::Socket_Connect() {
    sendRequestTimer_->Delay = kRequestDelayMs;
    sendRequestTimer_->Resolution = kTimerResolution;
    sendRequestTimer_->StartTimer();
}

void WebClient::SendRequestTimer_Timer() {
    ProzessScope scope("WebClient_SendRequest");
    sendRequestTimer_->StoppTimer();
    ProzessInfo([&] { return "URL=" + address_; });
    ProzessInfo("Host connected");
    if (socket_->State != CSocketState::kConnected) {
        ProzessInfo("ERROR: Host cancelled (connection is not available)");
        return;
    }
    requestWritten_ = true;
    WriteRequest();
    ProzessInfo("sending completed");
}

void WebClient::WriteRequest() {
    const std::string crlf(kCrLf);
    const std::string& target = ProxyServer.empty() ? page_ : address_;
    SendPart("sending answer...", command_ + " " + target + " " + httpVersion_ + crlf);
    SendPart("sending referer...", "Referer: " + referer_ + crlf);
    SendPart("sending accept-info...", "Accept: */*" + crlf);
    if (UpperCase(httpVersion_) == "HTTP/1.1") {
        const std::string port = port_ == 80 ? "" : ":" + std::to_string(port_);
        SendPart("sending hostname...", "Host: " + server_ + port + crlf);
    }
    SendPart("sending user-agent...", "User-Agent: " + userAgent_ + crlf);
    SendPart("sending accept-language...", "Accept-Language: de" + crlf);
    // A body from a source is announced exactly as a content of its length would be.
    const std::uint64_t contentLength = body_.read ? body_.length : content_.size();
    if (contentLength != 0) {
        SendPart("sending content-length...",
                 "Content-Length: " + std::to_string(contentLength) + crlf);
        SendPart("sending content-type...", "Content-Type: " + contentType_ + crlf);
    }
    if (!cookies_.empty()) SendPart("sending cookies...", "Cookie: " + cookies_ + crlf);
    if (!otherHeaders_.empty()) SendPart("sending other headers...", otherHeaders_);
    SendPart("sending connection-type...", "Connection: Close" + crlf);
    SendPart("sending end...", crlf);
    if (!content_.empty()) SendPart("sending content...", content_);
    if (body_.read && body_.length != 0) {
        ProzessInfo("sending content from its source...");
        bodySent_ = 0;
        bodyPending_ = true;
        SendBodyPieces();
    }
}

void WebClient::SendPart(std::string_view trace, const std::string& bytes) {
    ProzessInfo(trace);
    socket_->SendData(CSocket::ByteArray{bytes});
}

// A piece goes out only when the socket has taken everything before it, so at most one
// piece waits in its queue.
void WebClient::SendBodyPieces() {
    std::string piece;
    while (bodyPending_ && socket_->State == CSocketState::kConnected &&
           socket_->QueuedBytes() == 0) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(kBodyPieceSize, body_.length - bodySent_));
        piece.resize(want);
        const std::size_t got = std::min(body_.read(piece.data(), want), want);
        if (!bodyPending_) return;  // the source's owner ended the request meanwhile
        if (got == 0) {
            bodyPending_ = false;
            Socket_Error(0, "the request body could not be read");
            return;
        }
        bodySent_ += got;
        if (bodySent_ >= body_.length) bodyPending_ = false;
        socket_->SendData(CSocket::ByteArray{std::string_view(piece.data(), got)});
    }
}

void WebClient::Socket_SendComplete() {
    SendBodyPieces();
}

void WebClient::Socket_DataArrival(std::string_view BinData) {
    parser_.Take(BinData);
}

void WebClient::Parser_StatusLine(const std::string& version, double number,
                                  const std::string& message) {
    answer_Version = version;
    answer_Number = number;
    answer_Message = message;
    ProzessScope scope("Event WebClient_GetAnswer");
    ProzessInfo([&] { return "URL=" + address_; });
    if (events_ != nullptr) events_->GetAnswer(*this);
}

void WebClient::Parser_Header(const std::string& name, const std::string& value) {
    answer_Headers->NewHeader(CreateHeader(name, value));
    const auto header = answer_Headers->GetLastHeader();
    ProzessInfo([&] { return "URL=" + address_; });
    ProzessInfo([&] { return header->TheName + ": " + header->TheValue; });
    ProzessScope scope("Event WebClient_NewHeader");
    if (events_ != nullptr) events_->NewHeader(*this, header);
}

void WebClient::Parser_HeadEnded() {
    ProzessScope scope("Event WebClient_StartOfDataArrival");
    ProzessInfo([&] { return "URL=" + address_; });
    if (events_ != nullptr) events_->StartOfDataArrival(*this);
}

void WebClient::Parser_Body(std::string_view bytes) {
    std::string piece(bytes);
    if (keepBody_) Data += piece;
    ProzessInfo([&] { return "URL=" + address_; });
    ProzessInfo([&] { return "Data=" + piece; });
    ProzessScope scope("Event WebClient_DataArrival");
    if (events_ != nullptr) events_->DataArrival(*this, piece);
}

void WebClient::Parser_Ended() {
    ProzessScope scope("Event WebClient_Closed");
    ProzessInfo([&] { return "URL=" + address_; });
    const auto keep = shared_from_this();
    if (events_ != nullptr) events_->Closed(*this);
}

void WebClient::Socket_Closed() {
    // Closed before the request was written: the server turned the connection down.
    if (sendRequestTimer_->GetStatus() || !requestWritten_) {
        sendRequestTimer_->StoppTimer();
        Socket_Error(0, "Server cancelled");
        return;
    }
    // The answer has no length of its own: only a clean end makes it whole. A reset or a
    // failed receive cuts it off, so what arrived is not the answer.
    if (socket_->CloseError != 0) {
        Socket_Error(0, SocketModule::SocketErrorText(socket_->CloseError));
        return;
    }
    parser_.End();
}

void WebClient::Socket_Error(std::int32_t Number, std::string Description) {
    socket_->Disconnect();
    ProzessInfo([&] { return "URL=" + address_; });
    ProzessInfo([&] { return "Nr: " + std::to_string(Number); });
    ProzessInfo([&] { return "Description: " + Description; });
    ProzessScope scope("Event WebClient_Error");
    const auto keep = shared_from_this();
    if (events_ != nullptr) events_->Error(*this, Number, Description);
}

}  // namespace pelorin
