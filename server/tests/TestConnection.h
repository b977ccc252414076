// A client connection for the tests, driven by the test thread's message loop: it sends
// raw request bytes, in as many pieces as the test likes, and collects everything the
// server answers until the server closes. Every wait has a time limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace pelorin::testing {

class TestConnection {
  public:
    // Connects to 127.0.0.1:`port`, from the local address `from` (another loopback
    // address gives a peer the server does not serve). Connected() tells whether it
    // worked.
    explicit TestConnection(std::uint16_t port, std::string_view from = "127.0.0.1");
    ~TestConnection();
    TestConnection(const TestConnection&) = delete;
    TestConnection& operator=(const TestConnection&) = delete;

    bool Connected() const { return socket_ != platform::kInvalidSocket; }
    // Writes all of `bytes`, letting the loop run while the socket is full.
    bool Send(std::string_view bytes);
    // Closes our side for writing: the server sees the end of the request data.
    void Close();

    // Runs the loop until the server closed the connection; false after `timeoutMs`.
    bool WaitClosed(std::uint32_t timeoutMs = 5000);
    bool ClosedByServer() const { return closed_; }
    const std::string& Received() const { return received_; }

  private:
    static platform::LResult Proc(platform::WindowHandle window, platform::MessageId message,
                                  platform::WParam wParam, platform::LParam lParam);
    void ReadAll();

    platform::WindowHandle window_ = 0;
    platform::SocketHandle socket_ = platform::kInvalidSocket;
    std::string received_;
    bool closed_ = false;
};

// One whole exchange: connects, sends `request`, and returns what came back by the time
// the server closed ("<no close>" is appended when it did not within the limit).
std::string Exchange(std::uint16_t port, std::string_view request);

// A loopback port nobody listens on at the moment.
std::uint16_t FreePort();

}  // namespace pelorin::testing
