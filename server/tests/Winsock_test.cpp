// The socket control: listening errors, connection requests nobody takes, data in and
// out as bytes, and the completion events. (Answers larger than the socket takes at once
// are tested through the whole server, in WebServer_test.)
#include "server/Winsock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/RuntimeError.h"
#include "platform/tests/TestLoop.h"
#include "platform/tests/TestPeer.h"

namespace pelorin {
namespace {

using testing::PumpFor;
using testing::PumpUntil;
using testing::TestPeer;

// A listener that accepts every request on one connection control and records what
// the connection reports.
class Endpoint : public WinsockEvents {
  public:
    explicit Endpoint(bool acceptRequests = true) : accept_(acceptRequests) {
        listener->SetEvents(this);
        connection->SetEvents(this);
        listener->SetLocalPort(0);
        listener->Listen();
    }
    ~Endpoint() override {
        listener->SetEvents(nullptr);
        connection->SetEvents(nullptr);
    }
    std::uint16_t port() const { return static_cast<std::uint16_t>(listener->LocalPort()); }

    void ConnectionRequest(Winsock&, std::int32_t requestID) override {
        ++requests;
        if (accept_) connection->Accept(requestID);
    }
    void DataArrival(Winsock& sender, std::int32_t bytesTotal) override {
        std::string data;
        sender.GetData(data);
        EXPECT_EQ(static_cast<std::size_t>(bytesTotal), data.size());
        received += data;
    }
    void SendComplete(Winsock&) override { ++sendCompletes; }
    void Close(Winsock& sender) override {
        ++closes;
        stateAtClose = sender.State();
    }
    void Error(Winsock&, std::int16_t number, const std::string&) override {
        errors.push_back(number);
    }

    std::shared_ptr<Winsock> listener = Winsock::Create();
    std::shared_ptr<Winsock> connection = Winsock::Create();
    int requests = 0;
    std::string received;
    int sendCompletes = 0;
    int closes = 0;
    std::int32_t stateAtClose = -1;
    std::vector<int> errors;

  private:
    bool accept_;
};

TEST(Winsock, ListenOnABusyPortThrowsAddressInUseAndStaysClosed) {
    Endpoint first;
    auto second = Winsock::Create();
    second->SetLocalPort(first.port());
    try {
        second->Listen();
        FAIL() << "a second listener on the same port";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 10048);
        EXPECT_STREQ(e.what(), "Address in use");
    }
    EXPECT_EQ(second->State(), Winsock::sckClosed);
    // The control is usable again afterwards.
    second->SetLocalPort(0);
    second->Listen();
    EXPECT_EQ(second->State(), Winsock::sckListening);
    EXPECT_NE(second->LocalPort(), first.port());
}

TEST(Winsock, PortOutsideTheRangeIsRefused) {
    auto control = Winsock::Create();
    for (std::int32_t port : {-1, 65536}) {
        try {
            control->SetLocalPort(port);
            FAIL() << port;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), Winsock::kInvalidPropertyValue);
        }
    }
    EXPECT_EQ(control->LocalPort(), 0);
}

TEST(Winsock, ARequestNobodyAcceptsIsClosed) {
    Endpoint endpoint(false);
    TestPeer peer(endpoint.port());
    ASSERT_TRUE(peer.connected());
    ASSERT_TRUE(peer.ReadUntilClosed());
    EXPECT_EQ(endpoint.requests, 1);
    EXPECT_TRUE(peer.received().empty());
}

TEST(Winsock, DataArrivesAsBytesAndPeerCloseComesAfterIt) {
    Endpoint endpoint;
    TestPeer peer(endpoint.port());
    ASSERT_TRUE(PumpUntil([&] { return endpoint.connection->State() == Winsock::sckConnected; }));
    EXPECT_EQ(endpoint.connection->RemoteHostIP(), "127.0.0.1");
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    ASSERT_TRUE(peer.Send(all));
    peer.Close();
    ASSERT_TRUE(PumpUntil([&] { return endpoint.closes == 1; }));
    EXPECT_EQ(endpoint.received, all);
    EXPECT_EQ(endpoint.stateAtClose, Winsock::sckClosing);
    endpoint.connection->Close();
    EXPECT_EQ(endpoint.connection->State(), Winsock::sckClosed);
    EXPECT_EQ(endpoint.connection->RemoteHostIP(), "");
}

TEST(Winsock, SendCompleteComesFromTheLoopEvenForNothing) {
    Endpoint endpoint;
    TestPeer peer(endpoint.port());
    ASSERT_TRUE(PumpUntil([&] { return endpoint.connection->State() == Winsock::sckConnected; }));
    endpoint.connection->SendData("");
    EXPECT_EQ(endpoint.sendCompletes, 0);  // never from inside SendData
    ASSERT_TRUE(PumpUntil([&] { return endpoint.sendCompletes == 1; }));
    endpoint.connection->SendData("ab");
    endpoint.connection->SendData("cd");
    PumpFor(100);
    EXPECT_EQ(endpoint.sendCompletes, 2);  // one for both pieces
    ASSERT_TRUE(peer.ReadAtLeast(4));
    EXPECT_EQ(peer.received(), "abcd");
}

// Events already queued when the control closes are never raised: not for the closed
// connection, and not for the next one the control takes.
TEST(Winsock, ClosingDropsKeptDataAndEventsStillQueued) {
    Endpoint endpoint;
    TestPeer first(endpoint.port());
    ASSERT_TRUE(PumpUntil([&] { return endpoint.connection->State() == Winsock::sckConnected; }));
    endpoint.connection->SendData("x");  // its completion is queued now
    endpoint.connection->Close();
    first.Close();
    TestPeer second(endpoint.port());
    ASSERT_TRUE(PumpUntil([&] { return endpoint.requests == 2; }));
    PumpFor(100);
    EXPECT_EQ(endpoint.sendCompletes, 0);
    EXPECT_EQ(endpoint.closes, 0);

    endpoint.connection->SendData(std::string(16 * 1024 * 1024, 'x'));
    endpoint.connection->Close();
    PumpFor(100);
    EXPECT_EQ(endpoint.sendCompletes, 0);
    EXPECT_TRUE(second.ReadUntilClosed(10000));
}

}  // namespace
}  // namespace pelorin
