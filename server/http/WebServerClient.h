// One accepted HTTP connection: it parses the incoming bytes into request line, headers
// and body (RequestParser), tells its owner when the request is complete, writes the
// answer, and queues outgoing data so that one send is outstanding at a time (what queues
// meanwhile leaves together as the next one). One connection carries one request; data
// after it is ignored, and the owner closes the connection once the answer has gone out
// (Cancel after SendComplete).
//
// Requests the parser refuses are answered here, without the owner: a request line or
// header line without a carriage return within its own first 32,767 bytes, a
// Content-Length below 0 or beyond 32 bits, a chunked body with broken framing, sizes
// beyond 32 bits or a Content-Length beside it, more headers than a header list holds, or
// more than 1 MiB of header names and values get "400 Bad Request" with a "Fehler N:
// text" body; a transfer coding other than chunked gets "501 Not Implemented". The
// connection then closes and the owner hears ClientCancelled, never ReadyForData. (A
// chunked body reaches the owner decoded, like any other.)
//
// A peer other than 127.0.0.1 is never served: it is answered "403 Forbidden" as soon
// as it is accepted, before a byte of its request is read, and closed once that has gone
// out. Its owner hears ClientCancelled then, never ReadyForData: such a peer holds its
// connection no longer than the answer takes, whatever it sends or keeps back.
//
// A connection that outstays a time limit (ConnectionTimeLimits.h) is closed as well,
// and its owner hears ClientCancelled: one whose request head is not complete within the
// head limit of its accept, one whose body stops for the body limit, one whose answer
// does not move for the answer limit. The listener looks at them (CheckTimeLimits).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/ObjectTrace.h"
#include "net/WebClient_Header.h"
#include "platform/Files.h"
#include "server/http/CSocket_Server.h"
#include "server/http/ConnectionTimeLimits.h"
#include "server/http/RequestParser.h"

namespace pelorin {

class WebServerClient;

// The one peer address the store serves.
inline constexpr std::string_view kLocalPeer = "127.0.0.1";

// The owner's side of a request connection. GetAnswer and NewHeader may be left alone.
class WebServerClientEvents {
  public:
    virtual ~WebServerClientEvents() = default;
    // A header was added to ClientHeaders (Content-Length is not).
    virtual void NewHeader(WebServerClient& /*sender*/,
                           const std::shared_ptr<OneHeader>& /*header*/) {}
    // The request line has been read.
    virtual void GetAnswer(WebServerClient& /*sender*/) {}
    // A socket error; the connection is gone.
    virtual void Error(WebServerClient& sender, std::int32_t number,
                       const std::string& description) = 0;
    // Body bytes as they arrive, once the owner asked for them (StreamBody); all of them
    // come before ReadyForData.
    virtual void BodyArrival(WebServerClient& /*sender*/, std::string_view /*piece*/) {}
    // The request is complete (once per connection).
    virtual void ReadyForData(WebServerClient& sender) = 0;
    // Everything handed to SendData or SendAnswer has been sent.
    virtual void SendComplete(WebServerClient& sender) = 0;
    // The connection closed before the owner closed it: by the peer, after the
    // connection itself refused the request or the peer, or after a time limit passed.
    virtual void ClientCancelled(WebServerClient& sender) = 0;
};

// The request's public members (ClientCommand, ClientPage, ...) come from ClientRequest.
class WebServerClient : public std::enable_shared_from_this<WebServerClient>,
                        public ClientRequest,
                        private RequestParserEvents,
                        private CSocket_ServerEvents {
  public:
    static std::shared_ptr<WebServerClient> Create();
    ~WebServerClient() override;
    WebServerClient(const WebServerClient&) = delete;
    WebServerClient& operator=(const WebServerClient&) = delete;

    // The owner that receives the events; nullptr detaches it.
    void SetEvents(WebServerClientEvents* events) { events_ = events; }
    // On: the body is handed to the owner's BodyArrival as it arrives and never held here
    // (ClientPostData stays empty). Set it before the body comes.
    void StreamBody(bool on) { parser_.StreamBody(on); }

    // Binds this object to slot `index` of `server`, dropping any earlier connection.
    void AcceptClient(std::shared_ptr<CSocket_Server> server, std::int32_t index);
    // Closes the connection (Disconnect).
    void Cancel();
    // Closes this object's connection and lets go of the connection server. A connection
    // whose answer has not all been handed to the socket is reset: the peer must not
    // take the part it got for the whole answer.
    void Disconnect();
    // Writes the status line and headers as one SendData, each line ended by CR LF: status
    // line; "Server: " (empty name: Pelorin/0.1); `headers` when given and not empty;
    // "Content-Type: "; "Content-Length: " only when `contentLength` is not 0;
    // "Connection: Close"; the empty line. The body follows with SendData.
    void SendAnswer(std::string_view httpVersion, double status, std::string_view text,
                    std::string_view contentType, std::int32_t contentLength,
                    std::string_view serverName, const WebClient_Header* headers);
    // Sends `data` now, or queues it behind the outstanding send. Dropped when the
    // connection is gone. Pass large data by moving it: it is not copied on its way out.
    void SendData(std::string data);
    // Sends the file's bytes up to its size at opening, like data handed to SendData, but
    // from the open file as the socket takes them: the file is never held in memory.
    void SendFile(platform::ReadableFile file);
    // The peer's address as the connection server reports it now; "" without connection.
    std::string GetClientIP() const;

    // True while this object holds its connection.
    bool IsConnected() const { return OwnsSlot(); }
    // Closes the connection when the part of the exchange it is in (head, body, answer)
    // has outstayed its limit at `now` (the millisecond clock), with the log lines
    // "Request by " + address and " Error: time limit of the " + part, and raises
    // ClientCancelled. True when it did.
    bool CheckTimeLimits(std::uint32_t now, const ConnectionTimeLimits& limits);

  private:
    WebServerClient() { parser_.SetEvents(this); }

    // Connection server events for this object's slot.
    void Error(CSocket_Server& sender, std::int32_t index, std::int16_t number,
               const std::string& description) override;
    void NewClient(CSocket_Server&, std::int32_t) override {}  // the listener's business
    void SendComplete(CSocket_Server& sender, std::int32_t index) override;
    void DataArrival(CSocket_Server& sender, std::int32_t index, const std::string& data) override;
    void Closed(CSocket_Server& sender, std::int32_t index) override;

    // Parser events: the request line, a header, the complete or the refused request.
    void RequestLineRead(RequestParser& sender) override;
    void HeaderAdded(RequestParser& sender, const std::shared_ptr<OneHeader>& header) override;
    void BodyArrived(RequestParser& sender, std::string_view piece) override;
    void RequestComplete(RequestParser& sender) override;
    void RequestRefused(RequestParser& sender, int number) override;
    void CodingNotImplemented(RequestParser& sender) override;

    // What waits for the outstanding send: bytes, or a file (when it is open).
    struct QueuedPiece {
        std::string bytes;
        platform::ReadableFile file;
    };

    void Send(QueuedPiece piece);
    void FlushQueue();
    bool OwnsSlot() const;
    void ReleaseSocket();
    void ResetRequest();
    bool IsLocalPeer() const;
    void RefusePeer();
    void NoteAnswerMoved(std::uint32_t now);
    void CloseForTimeLimit(std::string_view part);

    ObjectTrace trace_{"WebServerClient"};
    WebServerClientEvents* events_ = nullptr;
    std::shared_ptr<CSocket_Server> socket_;
    std::int32_t index_ = 0;
    std::string clientAddress_;
    // Pieces waiting for the outstanding send. A vector: a deque allocates already when
    // made, and again for each swap in FlushQueue.
    std::vector<QueuedPiece> sendQueue_;
    bool sending_ = false;
    RequestParser parser_{*this};
    // The connection refused the request and closes itself once its answer is out.
    bool refused_ = false;
    // The clock of the time limits: the accept, the last arrival, the answer's last move
    // and the count of its bytes the socket had taken then.
    std::uint32_t acceptedAt_ = 0;
    std::uint32_t lastArrival_ = 0;
    std::uint32_t answerMovedAt_ = 0;
    std::uint64_t answerBytesSeen_ = 0;
};

}  // namespace pelorin
