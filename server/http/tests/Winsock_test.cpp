// The socket control: listening errors, connection requests nobody takes, data in and
// out as bytes, and the completion events. (Answers larger than the socket takes at once
// are tested through the whole server, in WebServer_test.)
#include "server/http/Winsock.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/RuntimeError.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "server/http/WinsockErrorText.h"
#include "testing/TempFolder.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"

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
    void SendComplete(Winsock&) override {
        ++sendCompletes;
        if (onSendComplete) onSendComplete();
    }
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
    std::function<void()> onSendComplete;

  private:
    bool accept_;
};

// The control's own wording of error numbers, which the server's log shows; a number it
// has no text for is named.
TEST(WinsockErrorText, TheControlsWordingOrTheNumber) {
    EXPECT_EQ(WinsockControlErrorText(10048), "Address in use");
    EXPECT_EQ(WinsockControlErrorText(10054), "Connection is reset by remote side");
    EXPECT_EQ(WinsockControlErrorText(10061), "Socket error 10061");
}

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
    ASSERT_TRUE(PumpUntil([&] { return endpoint.sendCompletes >= 2; }));
    ASSERT_TRUE(peer.ReadAtLeast(4));
    testing::DrainQueue();
    EXPECT_EQ(endpoint.sendCompletes, 2);  // one for both pieces
    EXPECT_EQ(peer.received(), "abcd");
}

// Bytes of odd sizes, each position telling where it belongs.
std::string Numbered(std::size_t size, std::size_t start) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((start + i) % 251);
    return bytes;
}

TEST(Winsock, ManyPiecesOfAnySizeLeaveInOrderWithOneSendComplete) {
    Endpoint endpoint;
    TestPeer peer(endpoint.port());
    ASSERT_TRUE(PumpUntil([&] { return endpoint.connection->State() == Winsock::sckConnected; }));
    std::string all;
    for (std::size_t i = 0; i < 300; ++i) {
        // Empty pieces, small ones, and now and then one larger than a single write takes.
        const std::size_t size = i % 7 == 0 ? 0 : i % 50 == 1 ? 1536 * 1024 + i : i * 13;
        const std::string piece = Numbered(size, all.size());
        all += piece;
        endpoint.connection->SendData(piece);
    }
    ASSERT_TRUE(peer.ReadAtLeast(all.size(), 10000));
    EXPECT_TRUE(peer.received() == all);
    ASSERT_TRUE(PumpUntil([&] { return endpoint.sendCompletes > 0; }));
    testing::DrainQueue();
    EXPECT_EQ(endpoint.sendCompletes, 1);
}

// An answer written in two steps (the second from the first one's SendComplete, as the
// request connection does) reaches a peer that waits for it while the connection stays
// open, at once: bytes held back for more that never comes would leave only with the
// system's own timer, some 200 ms later. A slowed-down run (a memory checker) cannot tell
// the two apart: there only the bytes are checked.
TEST(Winsock, DataSentFromSendCompleteArrivesAtOnceWithoutAClose) {
    const bool judgesDelay = testing::TimeScale() == 1;
    Endpoint endpoint;
    TestPeer peer(endpoint.port());
    ASSERT_TRUE(PumpUntil([&] { return endpoint.connection->State() == Winsock::sckConnected; }));
    std::uint32_t lastComplete = 0;
    endpoint.onSendComplete = [&] {
        lastComplete = platform::TickCount();
        if (endpoint.sendCompletes == 1) endpoint.connection->SendData("second part");
    };
    endpoint.connection->SendData("first part, ");
    ASSERT_TRUE(PumpUntil([&] { return endpoint.sendCompletes == 2; }));
    ASSERT_TRUE(peer.ReadAtLeast(23, 2000));
    if (judgesDelay) {
        EXPECT_LT(platform::TickCount() - lastComplete, 150u);
    }
    EXPECT_EQ(peer.received(), "first part, second part");
    EXPECT_FALSE(peer.Poll());  // still open

    endpoint.connection->SendData("x");  // and later bytes go at once as well
    ASSERT_TRUE(PumpUntil([&] { return endpoint.sendCompletes == 3; }));
    ASSERT_TRUE(peer.ReadAtLeast(24, 2000));
    if (judgesDelay) {
        EXPECT_LT(platform::TickCount() - lastComplete, 150u);
    }
}

// A peer that does not read holds back its own answer only: the control keeps the rest,
// another connection is served meanwhile, and once the peer reads, every byte arrives
// and SendComplete comes once.
TEST(Winsock, APeerThatDoesNotReadHoldsUpOnlyItsOwnConnection) {
    Endpoint slow;
    Endpoint other;
    TestPeer slowPeer(slow.port());
    TestPeer otherPeer(other.port());
    ASSERT_TRUE(PumpUntil([&] {
        return slow.connection->State() == Winsock::sckConnected &&
               other.connection->State() == Winsock::sckConnected;
    }));
    const std::string head = Numbered(17, 0);
    const std::string body = Numbered(24 * 1024 * 1024 + 3, head.size());
    slow.connection->SendData(head);
    slow.connection->SendData(body);

    other.connection->SendData("served");
    ASSERT_TRUE(otherPeer.ReadAtLeast(6, 2000));
    ASSERT_TRUE(PumpUntil([&] { return other.sendCompletes == 1; }));
    EXPECT_EQ(slow.sendCompletes, 0);  // more than the sockets hold

    ASSERT_TRUE(slowPeer.ReadAtLeast(head.size() + body.size(), 20000));
    EXPECT_TRUE(slowPeer.received() == head + body);
    ASSERT_TRUE(PumpUntil([&] { return slow.sendCompletes > 0; }));
    testing::DrainQueue();
    EXPECT_EQ(slow.sendCompletes, 1);
    EXPECT_TRUE(slow.errors.empty());
}

// A file goes out from the file, in order with the bytes around it, under one
// SendComplete. One that ended before its size at opening (it shrank meanwhile) cannot
// give its whole answer: the connection fails (and the peer gets a reset, where it can
// tell one: posix/ShrunkFile_test.cpp).
TEST(Winsock, FilesGoOutInOrderAndOneThatShrankFailsTheConnection) {
    testing::TempFolder folder;
    const std::string path = folder.path() + "file";
    const std::string head = Numbered(17, 0);
    const std::string body = Numbered(3 * 1024 * 1024 + 5, head.size());
    ASSERT_EQ(platform::WriteWholeFile(path, body), 0);
    Endpoint endpoint;
    TestPeer peer(endpoint.port());
    ASSERT_TRUE(PumpUntil([&] { return endpoint.connection->State() == Winsock::sckConnected; }));
    platform::ReadableFile file;
    ASSERT_EQ(file.Open(path), 0);
    endpoint.connection->SendData(head);
    endpoint.connection->SendFile(std::move(file));
    endpoint.connection->SendData("tail");
    ASSERT_TRUE(peer.ReadAtLeast(head.size() + body.size() + 4, 10000));
    EXPECT_TRUE(peer.received() == head + body + "tail");
    ASSERT_TRUE(PumpUntil([&] { return endpoint.sendCompletes > 0; }));
    testing::DrainQueue();
    EXPECT_EQ(endpoint.sendCompletes, 1);

    Endpoint shrinking;
    TestPeer cut(shrinking.port());
    ASSERT_TRUE(PumpUntil([&] { return shrinking.connection->State() == Winsock::sckConnected; }));
    ASSERT_EQ(file.Open(path), 0);
    ASSERT_EQ(platform::WriteWholeFile(path, "short"), 0);
    shrinking.connection->SendFile(std::move(file));
    ASSERT_TRUE(PumpUntil([&] { return !shrinking.errors.empty(); }));
    EXPECT_EQ(shrinking.errors, std::vector<int>{platform::kWsaEConnAborted});
    shrinking.connection->Close();  // as the connection server does after an error
    EXPECT_TRUE(cut.ReadUntilClosed());
    EXPECT_EQ(shrinking.sendCompletes, 0);
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
