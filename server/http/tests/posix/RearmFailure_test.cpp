// A connection whose epoll registration the system will not change can never be reported
// again: the listening control's owner has to hear that as the connection's error.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "server/http/Winsock.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"
#include "testing/posix/FailingRearm.h"

namespace pelorin {
namespace {

using testing::FailingRearm;
using testing::PumpUntil;
using testing::TestPeer;

// Accepts one connection and records what it reports.
class OneConnection : public WinsockEvents {
  public:
    OneConnection() {
        listener->SetEvents(this);
        connection->SetEvents(this);
        listener->SetLocalPort(0);
        listener->Listen();
    }
    ~OneConnection() override {
        listener->SetEvents(nullptr);
        connection->SetEvents(nullptr);
    }
    std::uint16_t port() const { return static_cast<std::uint16_t>(listener->LocalPort()); }

    void ConnectionRequest(Winsock&, std::int32_t requestID) override {
        socket = requestID;
        connection->Accept(requestID);
    }
    void DataArrival(Winsock& sender, std::int32_t) override {
        std::string data;
        sender.GetData(data);
        received += data;
    }
    void SendComplete(Winsock&) override {}
    void Close(Winsock&) override { events.emplace_back("Close"); }
    void Error(Winsock&, std::int16_t number, const std::string& description) override {
        events.push_back("Error " + std::to_string(number) + " " + description);
    }

    std::shared_ptr<Winsock> listener = Winsock::Create();
    std::shared_ptr<Winsock> connection = Winsock::Create();
    std::int32_t socket = -1;  // the accepted connection's handle
    std::string received;
    std::vector<std::string> events;
};

TEST(RearmFailure, AServerConnectionReportsItsErrorAfterTheDataItGot) {
    OneConnection server;
    TestPeer peer(server.port());
    ASSERT_TRUE(PumpUntil([&] { return server.connection->State() == Winsock::sckConnected; }));
    const FailingRearm failing(server.socket);
    // The receive that takes this data re-enables the read event, which the system refuses.
    ASSERT_TRUE(peer.Send("GET"));
    ASSERT_TRUE(PumpUntil([&] { return !server.events.empty(); }));
    EXPECT_EQ(server.received, "GET");
    EXPECT_EQ(server.events, std::vector<std::string>{"Error 10055 No buffer space is available"});
    EXPECT_EQ(server.connection->State(), Winsock::sckError);
}

}  // namespace
}  // namespace pelorin
