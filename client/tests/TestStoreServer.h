// A store server stand-in for the client's tests: it listens on a loopback port of the
// system's choosing, records every request's bytes and answers each connection with the
// next reply the test queued. It runs on the test's thread, driven by the same messages
// the client's wait dispatches, so nothing in a test needs a second thread.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace pelorin::testing {

struct Reply {
    enum class Kind {
        Answer,       // read the request, send `bytes`, close
        CloseAtOnce,  // close as soon as the connection is accepted
        HoldOpen,     // read the request and never answer (until Release)
    };
    Kind kind = Kind::Answer;
    std::string bytes;
};

class TestStoreServer {
  public:
    TestStoreServer();
    ~TestStoreServer();
    TestStoreServer(const TestStoreServer&) = delete;
    TestStoreServer& operator=(const TestStoreServer&) = delete;

    std::int32_t port() const { return port_; }

    // The reply for the next connection; without one a connection gets "200 OK".
    void Queue(Reply reply) { replies_.push_back(std::move(reply)); }
    void QueueAnswer(std::string bytes) { Queue(Reply{Reply::Kind::Answer, std::move(bytes)}); }
    // Answers every held connection, and every one still queued to be held, with `bytes`.
    void Release(const std::string& bytes);

    // Complete requests in arrival order, each with its headers and body.
    const std::vector<std::string>& requests() const { return requests_; }
    int accepted() const { return accepted_; }

  private:
    struct Connection;

    static platform::LResult Proc(platform::WindowHandle window, platform::MessageId message,
                                  platform::WParam wParam, platform::LParam lParam);
    void OnSocketEvent(platform::SocketHandle socket, std::uint32_t event);
    void Accept();
    void Read(Connection& connection);
    void Answer(Connection& connection, const std::string& bytes);
    void Flush(Connection& connection);
    void Close(platform::SocketHandle socket);

    platform::WindowHandle window_ = 0;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    std::int32_t port_ = 0;
    std::deque<Reply> replies_;
    std::map<platform::SocketHandle, std::unique_ptr<Connection>> connections_;
    std::vector<std::string> requests_;
    int accepted_ = 0;
};

// The bytes of an answer: status line, no headers, the body.
std::string AnswerBytes(int status, const std::string& message, const std::string& body = {});

}  // namespace pelorin::testing
