// A loopback HTTP server that answers as the test's script says, for the tests of the web
// client and of the store client. It listens on a port of the system's choosing, records
// every connection's bytes and each complete request, and answers each connection with
// the next queued reply or else its standing one. It runs on the test's thread, driven by
// the messages the code under test dispatches while it waits, so no test needs a second
// thread.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace pelorin::testing {

// What the server does with one connection.
struct Reply {
    enum class Kind {
        Answer,       // read the request; once it is complete write `pieces`, then close
        CloseAtOnce,  // close as soon as the connection is accepted, reading nothing
        HoldOpen,     // read the request and never answer (until Release)
    };
    Kind kind = Kind::Answer;
    std::vector<std::string> pieces = {};  // the answer, in order
    std::uint32_t pauseMs = 0;             // before each piece; 0 writes them all at once
    bool resetAtEnd = false;               // end with a reset instead of the orderly close
};

struct RecordedConnection {
    std::string received{};           // every byte that arrived, the request and beyond
    std::uint32_t acceptTick = 0;     // platform::TickCount() at the accept
    std::uint32_t firstByteTick = 0;  // at the first byte; 0 until one arrived
};

// The bytes of an answer: status line, no headers, the body.
std::string AnswerBytes(int status, const std::string& message, const std::string& body = {});

class ScriptedHttpServer {
  public:
    // `standing` answers every connection no queued reply is left for.
    explicit ScriptedHttpServer(Reply standing = Reply{.pieces = {AnswerBytes(200, "OK")}});
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    std::uint16_t port() const { return port_; }

    // The reply for the next connection.
    void Queue(Reply reply) { replies_.push_back(std::move(reply)); }
    void QueueAnswer(std::string bytes) { Queue(Reply{.pieces = {std::move(bytes)}}); }
    // Answers every held connection, and every one still queued to be held, with `bytes`.
    void Release(const std::string& bytes);

    // Every accepted connection, in order.
    const std::vector<RecordedConnection>& connections() const { return records_; }
    int accepted() const { return static_cast<int>(records_.size()); }
    // Complete requests in arrival order, each with its headers and body.
    const std::vector<std::string>& requests() const { return requests_; }

  private:
    struct Connection;

    static platform::LResult Proc(platform::WindowHandle window, platform::MessageId message,
                                  platform::WParam wParam, platform::LParam lParam);
    void OnSocketEvent(platform::SocketHandle socket, std::uint32_t event);
    void Accept();
    void Read(Connection& connection);
    void StartAnswer(Connection& connection);
    void NextPiece(platform::SocketHandle socket);
    void Flush(Connection& connection);
    void Close(platform::SocketHandle socket);

    Reply standing_;
    platform::WindowHandle window_ = 0;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    std::uint16_t port_ = 0;
    std::deque<Reply> replies_;
    std::map<platform::SocketHandle, std::unique_ptr<Connection>> connections_;
    std::vector<RecordedConnection> records_;
    std::vector<std::string> requests_;
};

}  // namespace pelorin::testing
