// Shared pieces of the socket tests: an owner that records every event, a fixture that
// keeps name lookups on the machine and leaves the module clean, and a loopback pair of
// connected sockets.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/CSocket.h"

namespace pelorin::testing {

// Records the events of one socket; the hooks let a test act inside a handler.
class RecordingOwner : public CSocketEvents {
  public:
    std::vector<std::string> events;  // "Connect", "Error 2 host not found", ...
    std::vector<std::string> pieces;  // DataArrival pieces
    std::vector<std::string> lines;   // LineDataArrival lines
    std::string received;             // all DataArrival bytes, in order
    int sendCompletes = 0;
    std::vector<std::shared_ptr<CSocket>> accepted;  // made on ConnectionRequest
    bool acceptRequests = false;

    std::function<void(CSocket&)> onConnect;
    std::function<void(CSocket&)> onClosed;
    std::function<void(CSocket&, const std::string&)> onData;
    std::function<void(CSocket&, const std::string&)> onLine;
    std::function<void(CSocket&)> onSendComplete;
    std::function<void(CSocket&, std::int32_t)> onError;

    void Connect(CSocket& sender) override;
    void Closed(CSocket& sender) override;
    void SendComplete(CSocket& sender) override;
    void DataArrival(CSocket& sender, const std::string& data, const std::string& ip) override;
    void LineDataArrival(CSocket& sender, const std::string& line, const std::string& ip) override;
    void Error(CSocket& sender, std::int32_t number, const std::string& text) override;
    void ConnectionRequest(CSocket& sender) override;

    bool Saw(const std::string& event) const;
};

// Host names the tests' lookups know; every other name is unknown, without any traffic.
struct FakeHosts {
    std::map<std::string, std::vector<std::uint32_t>> addresses;  // lower-case names
    std::map<std::uint32_t, std::string> names;                   // reverse lookups
    std::string localName;
    int lookups = 0;
};
FakeHosts& Fake();

class SocketTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

std::uint32_t Address(const char* dotted);

// A listener on a port the system chose, a client connected to it and the server's side
// of that connection, each with its own recording owner.
struct LoopbackPair {
    RecordingOwner listenerOwner;
    RecordingOwner clientOwner;
    RecordingOwner serverOwner;
    std::shared_ptr<CSocket> listener;
    std::shared_ptr<CSocket> client;
    std::shared_ptr<CSocket> server;

    // Listens, connects and accepts; false (with a test failure) when that did not work.
    bool Open();
};

}  // namespace pelorin::testing
