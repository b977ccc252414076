// An HTTP client for one request at a time. GetPage connects; 100 ms after the
// connection the request is written; the answer is parsed line by line into a status, a
// header list and a body as it arrives, and it is complete when the server closes the
// connection in order (requests carry "Connection: Close"; the answer's Content-Length is not
// used). Every stage is announced to the owner as an event.
//
// Texts are byte strings, one char per byte, sent and received unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "diagnostics/ObjectTrace.h"
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
    // A piece of the body arrived; sender.Data already holds it.
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
    // Connects again after WaitTime ms and writes the last request again; its answer
    // replaces whatever had arrived before.
    void Again(std::int32_t WaitTime);
    // Stops the timers and cancels the socket; a later GetPage works on a fresh socket.
    // No event.
    void Cancel();
    // host[:port]; port 8080 when none is named, "" for a direct connection.
    void SetProxy(std::string_view TheAddress);
    // "http://" + the address of the last GetPage without its scheme.
    const std::string& GetAdresse() const { return myAddress; }
    // Stops the retry timer and closes the socket. No event.
    void Disconnect();

    // Handlers of the owned socket's and timers' events. Public so that tests can feed
    // the answer parser pieces of their choosing; owners never call them.
    void Socket_Connect();
    void Socket_DataArrival(std::string_view BinData);
    void Socket_Closed();
    void Socket_Error(std::int32_t Number, std::string Description);
    void SendRequestTimer_Timer();
    void MyTimer_Timer();

  private:
    class Listener;

    WebClient();
    void SetOtherHeaders(const WebClientHeaders& otherHeaders);
    void SetCookies(const WebClientCookies& HTTP_Cookies);
    // Empties the answer; the status line fields keep their values.
    void ResetAnswer();
    void ConnectToTarget();
    void WriteRequest();
    void SendPart(std::string_view trace, const std::string& bytes);
    // Answer parser steps; a line that is not what the state expects is dropped.
    void ParseStatusLine(const std::string& line);
    void ParseHeaderLine(const std::string& line);
    void StartBody();
    void RaiseDataArrival(std::string piece);

    std::string myAddress;
    std::string myServer;
    std::int32_t myPort = 80;
    std::string myCommand;
    std::string myPage;
    std::string myHTTPVersion;
    std::string myReferer;
    std::string myUserAgent;
    std::string myContent;
    std::string myContentType;
    std::string myOtherHeaders;
    std::string myCookies;
    std::int16_t myState = 0;      // 0 status line expected, 1 header lines, 2 body
    std::string myLineBuffer;      // received text not yet split into lines (states 0 and 1)
    bool requestWritten_ = false;  // for the connection now held or being made
    // Counts new requests, connections, cancels and disconnects, so the parser notices
    // when a handler it raised has started something else.
    std::uint64_t generation_ = 0;

    std::unique_ptr<Listener> listener_;
    std::shared_ptr<CSocket> Socket;
    std::shared_ptr<ATimer> MyTimer;           // delay before a repeated attempt (Again)
    std::shared_ptr<ATimer> SendRequestTimer;  // delay between connection and request
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
