// A loopback HTTP server for the web client's tests. It runs on the test's own message
// loop (socket notifications to a hidden window), records each request as it arrives
// and answers as its script says.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace pelorin::testing {

// What the server does with every connection it accepts.
struct ServerScript {
    bool closeAtOnce = false;              // accept and close at once, reading nothing
    std::vector<std::string> answer = {};  // written in order once the request is complete
    std::uint32_t pauseMs = 0;             // between answer pieces; 0 writes them all at once
};

struct RecordedConnection {
    std::string request;
    std::uint32_t acceptTick = 0;
    std::uint32_t firstByteTick = 0;  // 0 until a byte arrived
    bool closed = false;              // the server has closed its end
};

class RecordingServer {
  public:
    explicit RecordingServer(ServerScript script);
    ~RecordingServer();
    RecordingServer(const RecordingServer&) = delete;
    RecordingServer& operator=(const RecordingServer&) = delete;

    std::uint16_t Port() const { return port_; }
    const std::vector<RecordedConnection>& Connections() const { return connections_; }

  private:
    struct Peer {
        std::size_t index = 0;      // into connections_
        std::string unsent;         // answer bytes the socket has not taken yet
        std::size_t nextPiece = 0;  // of the script's answer
        bool answering = false;
    };

    static platform::LResult Proc(platform::WindowHandle window, platform::MessageId message,
                                  platform::WParam wParam, platform::LParam lParam);
    void OnAccept();
    void OnRead(platform::SocketHandle socket);
    void OnTimer(platform::SocketHandle socket);
    void StartAnswer(platform::SocketHandle socket);
    void Flush(platform::SocketHandle socket);
    void Close(platform::SocketHandle socket);

    ServerScript script_;
    platform::WindowHandle window_ = 0;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    std::uint16_t port_ = 0;
    std::vector<RecordedConnection> connections_;
    std::map<platform::SocketHandle, Peer> peers_;
};

}  // namespace pelorin::testing
