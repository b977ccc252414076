// An HTTP client for one request at a time. GetPage connects; 100 ms after the
// connection the request is written; the answer is parsed (AnswerParser) into a status, a
// header list and a body as it arrives, and it is complete when the server closes the
// connection in order (requests carry "Connection: Close"; the answer's Content-Length is not
// used). Every stage is announced to the owner as an event. A body of any size can go
// both ways without being held whole: a request body from a source read as the
// connection takes it (SetRequestBody), an answer body handed on in pieces (KeepBody).
//
// Texts are byte strings, one char per byte, sent and received unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "diagnostics/ObjectTrace.h"
#include "net/AnswerParser.h"
#include "net/WebClient_Header.h"

namespace pelorin {

class ATimer;
class CSocket;
class WebClient;
class httpCookie;

// The owner's side of a web client. Each event has an empty default, so an owner
// overrides only the ones it needs. The web client stays alive while it raises an
// event, even when the handler drops the owner's last reference to it.
class WebClientEvents {
  public:
    virtual ~WebClientEvents() = default;
    // A piece of the body arrived; sender.Data already holds it (unless KeepBody is off).
    virtual void DataArrival(WebClient& /*sender*/, std::string& /*NewData*/) {}
    // The server closed the connection in order after the request was written: the
    // answer is complete. Not raised after Error.
    virtual void Closed(WebClient& /*sender*/) {}
    // A header line was parsed and appended to sender.answer_Headers.
    virtual void NewHeader(WebClient& /*sender*/, const std::shared_ptr<OneHeader>& /*TheHeader*/) {
    }
    // The status line was parsed.
    virtual void GetAnswer(WebClient& /*sender*/) {}
    // The connection failed, broke, or closed before the request was written (number 0,
    // "Server cancelled"). A reset or a failed receive while the answer comes is a break
    // (number 0, the socket error text): the answer is cut off. The socket is closed when
    // this is raised.
    virtual void Error(WebClient& /*sender*/, std::int32_t /*Number*/,
                       std::string& /*Description*/) {}
    // The empty line after the headers arrived; the body follows.
    virtual void StartOfDataArrival(WebClient& /*sender*/) {}
};

// Extra request headers: none, a header list (sent as "name: value" lines in list
// order), or ready lines, each ending in CR LF, sent unchanged.
using WebClientHeaders =
    std::variant<std::monostate, std::shared_ptr<WebClient_Header>, std::string>;
// Cookies: none, a cookie jar (its cookies for the request address), or the Cookie
// header's value as text.
using WebClientCookies = std::variant<std::monostate, std::shared_ptr<httpCookie>, std::string>;

// A request body read from a source in pieces, as the connection takes them.
struct WebClientBody {
    // Sent as Content-Length; the source must give exactly this many bytes.
    std::uint64_t length = 0;
    // Fills up to `capacity` bytes of `buffer` with the next bytes and answers how many.
    // 0 before `length` bytes were given means the source failed: the request then ends
    // with Error.
    std::function<std::size_t(char* buffer, std::size_t capacity)> read;
};

class WebClient : public std::enable_shared_from_this<WebClient> {
  public:
    static std::shared_ptr<WebClient> Create();
    // Stops the timers and cancels the socket, so nothing is left running for an object
    // that is gone.
    ~WebClient();
    WebClient(const WebClient&) = delete;
    WebClient& operator=(const WebClient&) = delete;

    // The owner that receives the events; nullptr detaches it.
    void SetEvents(WebClientEvents* events) { events_ = events; }

  private:
    ObjectTrace trace_{"WebClient"};

  public:
    // The answer: body so far, status line parts (kept from the previous answer until a
    // new status line arrives) and headers in arrival order.
    std::string Data;
    std::string answer_Version;
    double answer_Number = 0;
    std::string answer_Message;
    std::shared_ptr<WebClient_Header> answer_Headers;
    // Proxy host ("" = direct connection) and port; from the thread's defaults at creation.
    std::string ProxyServer;
    std::int32_t ProxyPort = 0;

    // Starts a request and returns once the connection attempt has started (a failure
    // that is known at once is raised as Error before it returns). The address is
    // [http://]host[:port][/path]; port 80 and path "/" when not named. An empty user
    // agent means the thread's default. Error 6 when the port does not fit 32 bits; the
    // object is then left as it was.
    void GetPage(std::string_view Adresse, std::string_view HTTP_Command,
                 std::string_view HTTP_Version, std::string_view HTTP_Referer = "",
                 std::string_view HTTP_UserAgent = "", std::string_view HTTP_Content = "",
                 std::string_view HTTP_ContentType = "", const WebClientHeaders& otherHeaders = {},
                 const WebClientCookies& HTTP_Cookies = {});
    // The body of the next GetPage, sent in place of its HTTP_Content (which must be
    // empty), with the Content-Length and Content-Type a content of that length gets.
    // GetPage takes it over; a request repeated by Again reads on from the same source.
    void SetRequestBody(WebClientBody body);
    // On (as created): the answer's body is collected in Data. Off: it is only handed to
    // DataArrival, piece by piece, and Data stays empty. Kept across requests.
    void KeepBody(bool keep) { keepBody_ = keep; }
    // Connects again after WaitTime ms and writes the last request again; its answer
    // replaces whatever had arrived before.
    void Again(std::int32_t WaitTime);
    // Stops the timers and cancels the socket; a later GetPage works on a fresh socket.
    // No event.
    void Cancel();
    // host[:port]; port 8080 when none is named, "" for a direct connection.
    void SetProxy(std::string_view TheAddress);
    // "http://" + the address of the last GetPage without its scheme.
    const std::string& GetAdresse() const { return address_; }
    // Stops the retry timer and closes the socket. No event.
    void Disconnect();

  private:
    class Listener;

    // Handlers of the owned socket's, timers' and parser's events.
    void Socket_Connect();
    void Socket_DataArrival(std::string_view BinData);
    void Socket_SendComplete();
    void Socket_Closed();
    void Socket_Error(std::int32_t Number, std::string Description);
    void SendRequestTimer_Timer();
    void MyTimer_Timer();
    void Parser_StatusLine(const std::string& version, double number, const std::string& message);
    void Parser_Header(const std::string& name, const std::string& value);
    void Parser_HeadEnded();
    void Parser_Body(std::string_view piece);
    void Parser_Ended();

    WebClient();
    void SetOtherHeaders(const WebClientHeaders& otherHeaders);
    void SetCookies(const WebClientCookies& HTTP_Cookies);
    // Empties the answer; the status line fields keep their values.
    void ResetAnswer();
    void ConnectToTarget();
    void WriteRequest();
    void SendPart(std::string_view trace, const std::string& bytes);
    // Sends pieces of the body source while the socket takes them at once; the rest
    // follows at SendComplete.
    void SendBodyPieces();

    std::string address_;
    std::string server_;
    std::int32_t port_ = 80;
    std::string command_;
    std::string page_;
    std::string httpVersion_;
    std::string referer_;
    std::string userAgent_;
    std::string content_;
    std::string contentType_;
    std::string otherHeaders_;
    std::string cookies_;
    WebClientBody nextBody_;      // SetRequestBody's, for the next GetPage
    WebClientBody body_;          // a body from a source; read == nullptr for none
    std::uint64_t bodySent_ = 0;  // bytes of body_ handed to the socket
    bool bodyPending_ = false;    // body_ is being sent on this connection
    bool keepBody_ = true;
    bool requestWritten_ = false;  // for the connection now held or being made
    AnswerParser parser_;

    std::unique_ptr<Listener> listener_;
    std::shared_ptr<CSocket> socket_;
    std::shared_ptr<ATimer> myTimer_;           // delay before a repeated attempt (Again)
    std::shared_ptr<ATimer> sendRequestTimer_;  // delay between connection and request
    WebClientEvents* events_ = nullptr;
};

// The thread's web client defaults, reset by each deliverable's start routine.
namespace WebClient_Modul {

inline constexpr std::string_view kServerUserAgent = "Pelorin/0.1";
inline constexpr std::string_view kClientLibraryUserAgent = "Pelorin__ActiveX_Client/0.1";

// Direct connections: proxy server "" and port 0.
void ResetDefaultProxy();
const std::string& DefaultProxyServer();
std::int32_t DefaultProxyPort();

// The user agent of requests whose caller names none. The client library's until a
// start routine sets another.
void SetDefaultUserAgent(std::string_view userAgent);
const std::string& DefaultUserAgent();

}  // namespace WebClient_Modul
}  // namespace pelorin
