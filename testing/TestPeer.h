// The far end of a test connection: a plain socket that connects to a loopback port, sends
// raw bytes and collects whatever comes back, while the calling thread's message loop
// keeps the server side running. It reads only when asked, so a test decides when the
// server's bytes leave the socket. Every wait has a time limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace pelorin::testing {

class TestPeer {
  public:
    // Connects to 127.0.0.1:`port`, from `localAddress` when one is given (another
    // loopback address gives a peer the server does not serve). connected() tells whether
    // it worked (a second loopback address cannot be bound everywhere).
    explicit TestPeer(std::uint16_t port, std::string_view localAddress = {});
    ~TestPeer();
    TestPeer(const TestPeer&) = delete;
    TestPeer& operator=(const TestPeer&) = delete;

    bool connected() const { return socket_ != platform::kInvalidSocket; }
    // Sends every byte, running the loop while the socket is full. False on failure.
    bool Send(std::string_view bytes);
    // Runs the loop until the server closed the connection; false after the time limit.
    bool ReadUntilClosed(std::uint32_t timeoutMs = 5000);
    // Runs the loop until at least `count` bytes arrived.
    bool ReadAtLeast(std::size_t count, std::uint32_t timeoutMs = 5000);
    // Takes what has arrived so far without waiting; true once the server closed.
    bool Poll();
    void Close();

    const std::string& received() const { return received_; }
    // The connection ended with a failure (a reset) rather than the server's clean end.
    bool reset() const { return reset_; }

  private:
    platform::SocketHandle socket_ = platform::kInvalidSocket;
    std::string received_;
    bool closed_ = false;
    bool reset_ = false;
};

// One whole exchange: connects, sends `request`, and returns what came back by the time
// the server closed ("<no close>" is appended when it did not within the limit).
std::string Exchange(std::uint16_t port, std::string_view request);

// A loopback port where nothing listens (it was free a moment ago).
std::uint16_t UnusedLoopbackPort();

// Whether a connection reset by its far end reaches the near end's receive as a failure
// rather than as an orderly end. Wine hands it on as the orderly end, so tests that tell
// a reset apart skip there. Tried once, on a loopback connection of its own.
bool SystemReportsResets();

}  // namespace pelorin::testing
