// A request connection over real loopback connections, end to end: one request per
// connection, the parser's refusals answered 400 and closed, a peer that is not served,
// the peer closing mid-request, and the time limits of each part of the exchange. The
// parser's own cases are in RequestParser_test.
#include "server/http/WebServerClient.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "server/http/tests/HttpServerFixture.h"
#include "testing/RecordingHooks.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::HttpServerTest;
using testing::PumpUntil;
using testing::StoreAnswerHead;
using testing::TestPeer;
using Events = std::vector<std::string>;

class RequestConnectionTest : public HttpServerTest {
  protected:
    // Sends `request` in one piece and waits until it is complete.
    WebServerClient& Parse(std::string_view request) {
        peers.push_back(Connect());
        EXPECT_TRUE(peers.back()->Send(request));
        const int before = recorder.Count("ReadyForData");
        EXPECT_TRUE(PumpUntil([&] { return recorder.Count("ReadyForData") > before; }));
        return LastClient();
    }
    // Sends a request the server must refuse and returns all it answered.
    std::string Refused(std::string_view request) {
        auto peer = Connect();
        const int before = recorder.Count("ClientCancelled");
        EXPECT_TRUE(peer->Send(request));
        EXPECT_TRUE(peer->ReadUntilClosed());
        EXPECT_TRUE(PumpUntil([&] { return recorder.Count("ClientCancelled") > before; }));
        EXPECT_EQ(recorder.Count("ReadyForData"), 0);
        return peer->received();
    }

    std::vector<std::unique_ptr<TestPeer>> peers;
};

// One request per connection: the request is raised once and whatever follows it on
// the connection, in the same arrival or later, changes nothing.
TEST_F(RequestConnectionTest, ARequestIsRaisedOnceAndDataAfterItIsIgnored) {
    WebServerClient& client = Parse("GET /a HTTP/1.0\r\n\r\nGET /b HTTP/1.0\r\n\r\n");
    EXPECT_EQ(client.GetClientIP(), "127.0.0.1");
    ASSERT_TRUE(peers.back()->Send("DEL /c HTTP/1.0\r\nX: y\r\n\r\n"));
    // The connection takes the data before it reports the peer's close.
    peers.back()->Close();
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ClientCancelled") == 1; }));
    EXPECT_EQ(recorder.events, (Events{"GetAnswer", "ReadyForData", "ClientCancelled"}));
    EXPECT_EQ(client.ClientCommand, "GET");
    EXPECT_EQ(client.ClientPage, "/a");
}

// What the parser refuses is answered 400 with the error's number and text, and closed.
TEST_F(RequestConnectionTest, ARefusedRequestIsAnswered400AndClosed) {
    const std::string head = StoreAnswerHead("400 Bad Request");
    EXPECT_EQ(Refused(std::string(32767, 'a')), head + "Fehler 6: Overflow");
    EXPECT_EQ(Refused("SET /a HTTP/1.0\r\nContent-Length: -1\r\n\r\n"),
              head + "Fehler 5: Invalid procedure call or argument");
    std::string request = "GET /a HTTP/1.0\r\n";
    for (int i = 0; i <= WebClient_Header::kMaxHeaders; ++i) request += "A: b\r\n";
    EXPECT_EQ(Refused(request + "\r\n"), head + "Fehler 9: Subscript out of range");
    EXPECT_EQ(recorder.Count("ClientCancelled"), 3);
}

// A peer other than 127.0.0.1 is answered 403 and closed as soon as it is accepted: it
// need not send a byte, and nothing it sends is read; the owner only hears the close.
TEST_F(RequestConnectionTest, AnotherPeerIsRefusedAtOnceWithoutBeingRead) {
    testing::ResetHooks();
    auto peer = Connect("127.0.0.2");
    if (!peer) GTEST_SKIP() << "127.0.0.2 cannot be bound here";
    ASSERT_TRUE(peer->ReadUntilClosed());
    EXPECT_EQ(peer->received(), StoreAnswerHead("403 Forbidden"));
    EXPECT_TRUE(PumpUntil([&] { return recorder.Count("ClientCancelled") == 1; }));
    EXPECT_EQ(recorder.events, Events{"ClientCancelled"});
    EXPECT_EQ(testing::Hooks().logLines, (Events{"Request by 127.0.0.2", " Error: forbidden"}));
}

// An empty piece handed over while the head is still being sent (the body of an empty
// file) must not hold the answer back: the send completes and the connection can end.
TEST_F(RequestConnectionTest, AnEmptyPieceBehindTheHeadStillCompletes) {
    recorder.onReady = [&](WebServerClient& client) {
        client.SendAnswer("HTTP/1.0", 200, "OK", "text/plain", 0, "", nullptr);
        client.SendData("");
    };
    Parse("GET /empty HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(PumpUntil([&] { return recorder.Count("SendComplete") == 1; }));
    LastClient().Cancel();
    ASSERT_TRUE(peers.back()->ReadUntilClosed());
    EXPECT_EQ(peers.back()->received(), StoreAnswerHead("200 OK"));
}

// An answer carries no length, so one cut off by a cancel must end in a reset, whether
// its rest waits in the connection's queue or has not left the socket yet.
TEST_F(RequestConnectionTest, ACancelBeforeTheAnswerIsAllWrittenResets) {
    if (!testing::SystemReportsResets()) {
        GTEST_SKIP() << "this system hands a reset on as an orderly end (Wine)";
    }
    struct Case {
        const char* label;
        std::function<void(WebServerClient&)> answer;
    };
    const std::vector<Case> cases = {
        {"rest queued behind the head",
         [](WebServerClient& c) {
             c.SendAnswer("HTTP/1.0", 200, "OK", "text/plain", 0, "", nullptr);
             c.SendData("body");
         }},
        {"rest kept by the socket",
         [](WebServerClient& c) { c.SendData(std::string(32u << 20, 'x')); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        recorder.onReady = [&](WebServerClient& client) {
            c.answer(client);
            client.Cancel();
        };
        Parse("GET /a HTTP/1.0\r\n\r\n");
        ASSERT_TRUE(peers.back()->ReadUntilClosed());
        EXPECT_TRUE(peers.back()->reset());
    }
}

TEST_F(RequestConnectionTest, APeerClosingMidRequestCancelsWithoutReadyForData) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("SET /a HTTP/1.0\r\nContent-Length: 5\r\n\r\nab"));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("GetAnswer") == 1; }));
    peer->Close();
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ClientCancelled") == 1; }));
    EXPECT_EQ(recorder.Count("ReadyForData"), 0);
    EXPECT_EQ(LastClient().GetClientIP(), "");
    LastClient().SendData("nobody hears this");  // dropped, no failure
}

// Each part of the exchange has its limit; the connection that outstays it is closed and
// its owner hears ClientCancelled, never ReadyForData or SendComplete. Each test
// shortens only the limit it is about, so that no other can come first.
class TimeLimitTest : public RequestConnectionTest {
  protected:
    void SetUp() override {
        RequestConnectionTest::SetUp();
        testing::ResetHooks();
    }
    void TearDown() override {
        RequestConnectionTest::TearDown();
        SetConnectionTimeLimits({});
    }
    static void Shorten(std::uint32_t ConnectionTimeLimits::*limit) {
        ConnectionTimeLimits limits;
        limits.*limit = testing::ScaledMs(300);
        SetConnectionTimeLimits(limits);
    }
    // Waits for the close of the last connection by its limit; the log lines it wrote.
    Events ClosedByLimit() {
        EXPECT_TRUE(PumpUntil([&] { return recorder.Count("ClientCancelled") == 1; }));
        EXPECT_FALSE(LastClient().IsConnected());
        Events log = testing::Hooks().logLines;
        testing::ResetHooks();
        return log;
    }
};

// Counted from the accept, whatever came meanwhile; a request of bare line feeds, which
// never ends, is no exception.
TEST_F(TimeLimitTest, AnUnfinishedHeadClosesAtTheHeadLimit) {
    Shorten(&ConnectionTimeLimits::headMs);
    const struct {
        const char* label;
        std::string_view sent;
    } rows[] = {
        {"nothing", ""},
        {"half a head", "GET /a HTTP/1.0\r\nX-A: 1\r\n"},
        {"bare line feeds", "GET /a HTTP/1.0\n\n"},
    };
    for (const auto& row : rows) {
        recorder.events.clear();
        auto peer = Connect();
        ASSERT_TRUE(peer->Send(row.sent)) << row.label;
        EXPECT_EQ(ClosedByLimit(),
                  (Events{"Request by 127.0.0.1", " Error: time limit of the head"}))
            << row.label;
        ASSERT_TRUE(peer->ReadUntilClosed()) << row.label;
        EXPECT_EQ(peer->received(), "") << row.label;
        EXPECT_EQ(recorder.Count("ReadyForData"), 0) << row.label;
    }
}

TEST_F(TimeLimitTest, ABodyThatStopsClosesAtTheBodyLimit) {
    Shorten(&ConnectionTimeLimits::bodyMs);
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("SET /a HTTP/1.0\r\nContent-Length: 10\r\n\r\nabc"));
    EXPECT_EQ(ClosedByLimit(), (Events{"Request by 127.0.0.1", " Error: time limit of the body"}));
    ASSERT_TRUE(peer->ReadUntilClosed());
    EXPECT_EQ(peer->received(), "");
    EXPECT_EQ(recorder.Count("ReadyForData"), 0);
}

// The peer takes nothing of an answer far larger than the sockets hold.
TEST_F(TimeLimitTest, AnAnswerThePeerDoesNotTakeClosesAtTheAnswerLimit) {
    Shorten(&ConnectionTimeLimits::answerMs);
    constexpr std::size_t kBodySize = 64u << 20;
    recorder.onReady = [](WebServerClient& client) {
        client.SendAnswer("HTTP/1.0", 200, "OK", "text/plain", 0, "", nullptr);
        client.SendData(std::string(kBodySize, 'b'));
    };
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("GET /big HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(ClosedByLimit(),
              (Events{"Request by 127.0.0.1", " Error: time limit of the answer"}));
    EXPECT_EQ(recorder.events, (Events{"GetAnswer", "ReadyForData", "ClientCancelled"}));
    peer->ReadUntilClosed();
    EXPECT_LT(peer->received().size(), kBodySize);
}

}  // namespace
}  // namespace pelorin
