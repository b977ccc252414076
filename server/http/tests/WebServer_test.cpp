// The listener and the answer side of a connection over real loopback connections: the
// exact answer bytes, the send queue and its one SendComplete, answers larger than the
// socket takes at once, stopping with connections open, and the diagnostics.
#include "server/http/WebServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/RuntimeError.h"
#include "server/http/tests/HttpServerFixture.h"
#include "testing/RecordingHooks.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::Hooks;
using testing::HttpServerTest;
using testing::PumpFor;
using testing::PumpUntil;
using testing::StoreAnswerHead;
using testing::TestPeer;

class WebServerTest : public HttpServerTest {
  protected:
    // One request answered by `answer`, closed after SendComplete; what the peer got.
    std::string Exchange(std::function<void(WebServerClient&)> answer) {
        recorder.onReady = std::move(answer);
        recorder.onSendComplete = [](WebServerClient& client) { client.Cancel(); };
        auto peer = Connect();
        EXPECT_TRUE(peer->Send("GET /a HTTP/1.0\r\n\r\n"));
        EXPECT_TRUE(peer->ReadUntilClosed());
        return peer->received();
    }
};

TEST_F(WebServerTest, TheStoreAnswerIsExactlyItsLinesAndThenTheBody) {
    const std::string got = Exchange([](WebServerClient& client) {
        client.SendAnswer("HTTP/1.0", 200, "OK", "text/plain", 0, "", nullptr);
        client.SendData("Found");
    });
    EXPECT_EQ(got,
              "HTTP/1.0 200 OK\r\nServer: Pelorin/0.1\r\nContent-Type: text/plain\r\n"
              "Connection: Close\r\n\r\nFound");
    EXPECT_EQ(recorder.Count("SendComplete"), 1);
}

TEST_F(WebServerTest, OptionalAnswerLinesAppearOnlyWhenAsked) {
    WebClient_Header headers;
    headers.NewHeader(CreateHeader("X-One", "1"));
    headers.NewHeader(CreateHeader("X-Two", "a b"));
    const std::string got = Exchange([&](WebServerClient& client) {
        client.SendAnswer("HTTP/1.1", 404.5, "Not Found", "", 12, "Other/2", &headers);
        client.SendData("not here yet");
    });
    EXPECT_EQ(got,
              "HTTP/1.1 404.5 Not Found\r\nServer: Other/2\r\nX-One: 1\r\nX-Two: a b\r\n"
              "Content-Type: \r\nContent-Length: 12\r\nConnection: Close\r\n\r\nnot here yet");
    const auto& procedures = Hooks().procedures;
    EXPECT_EQ(std::count(procedures.begin(), procedures.end(), "+WebServerClient_SendAnswer"), 1);
}

TEST_F(WebServerTest, SendCompleteReachesTheOwnerOnlyAfterEverythingQueued) {
    std::vector<std::size_t> receivedAtComplete;
    std::unique_ptr<TestPeer> peer;
    recorder.onReady = [](WebServerClient& client) {
        client.SendData("one,");
        client.SendData("two,");
        client.SendData("three");
    };
    recorder.onSendComplete = [&](WebServerClient& client) {
        peer->ReadAtLeast(13, 2000);
        receivedAtComplete.push_back(peer->received().size());
        client.SendData("|four");  // a second round completes on its own
        if (receivedAtComplete.size() == 2) client.Cancel();
    };
    peer = Connect();
    ASSERT_TRUE(peer->Send("GET /a HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(peer->ReadUntilClosed());
    EXPECT_EQ(peer->received(), "one,two,three|four|four");
    ASSERT_EQ(receivedAtComplete.size(), 2u);
    EXPECT_EQ(receivedAtComplete[0], 13u);
}

TEST_F(WebServerTest, AnAnswerLargerThanTheSocketTakesArrivesWhole) {
    std::string body(24 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 253);
    const std::string expected = StoreAnswerHead("200 OK") + body;
    recorder.onReady = [&](WebServerClient& client) {
        client.SendAnswer("HTTP/1.0", 200, "OK", "text/plain", 0, "", nullptr);
        client.SendData(std::move(body));
    };
    recorder.onSendComplete = [](WebServerClient& client) { client.Cancel(); };
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("GET /big HTTP/1.0\r\n\r\n"));
    PumpFor(300);  // the peer reads nothing yet: the server keeps what does not fit
    EXPECT_EQ(recorder.Count("SendComplete"), 0);
    ASSERT_TRUE(peer->ReadUntilClosed(30000));
    EXPECT_EQ(peer->received().size(), expected.size());
    EXPECT_TRUE(peer->received() == expected);
    EXPECT_EQ(recorder.Count("SendComplete"), 1);
}

TEST_F(WebServerTest, StoppingClosesOpenConnectionsWithoutEvents) {
    AnswerEveryRequest(200, "OK", "");
    recorder.onReady = nullptr;  // complete requests stay unanswered
    auto complete = Connect();
    ASSERT_TRUE(complete->Send("GET /a HTTP/1.0\r\n\r\n"));
    auto halfway = Connect();
    ASSERT_TRUE(halfway->Send("SET /a HTTP/1.0\r\nContent-Length: 9\r\n\r\nab"));
    auto silent = Connect();
    ASSERT_TRUE(PumpUntil(
        [&] { return recorder.Count("ReadyForData") == 1 && recorder.Count("GetAnswer") == 2; }));
    const auto eventsBefore = recorder.events;

    server->Cancel();
    for (TestPeer* peer : {complete.get(), halfway.get(), silent.get()}) {
        EXPECT_TRUE(peer->ReadUntilClosed());
        EXPECT_EQ(peer->received(), "");
    }
    PumpFor(50);
    EXPECT_EQ(recorder.events, eventsBefore);
    EXPECT_EQ(Hooks().logLines.back(), "Server_Cancel");
    for (const auto& client : recorder.clients) {
        client->Cancel();  // harmless now
        EXPECT_EQ(client->GetClientIP(), "");
    }
    // The port can be listened on again at once.
    auto next = WebServer::Create();
    EXPECT_NO_THROW(next->Listen(port));
    EXPECT_EQ(next->GetPortInUse(), port);
}

// A connection left over from before a stop still remembers its slot number; the slot may
// serve a new connection since, which the old one must never close or write to.
TEST_F(WebServerTest, AConnectionFromBeforeAStopLeavesItsSlotsNewConnectionAlone) {
    auto old = Connect();
    const auto stale = recorder.clients.back();
    server->Disconnect();
    server->Listen(port);
    AnswerEveryRequest(200, "OK", "new");
    auto fresh = Connect();
    EXPECT_EQ(stale->GetClientIP(), "");
    stale->Cancel();
    stale->SendData("stale");
    ASSERT_TRUE(fresh->Send("GET /a HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(fresh->ReadUntilClosed());
    EXPECT_EQ(fresh->received(), StoreAnswerHead("200 OK") + "new");
}

TEST_F(WebServerTest, ManyConcurrentConnectionsAreEachAnsweredWhole) {
    AnswerEveryRequest(200, "OK", "");
    recorder.onReady = [](WebServerClient& client) {
        client.SendAnswer("HTTP/1.0", 200, "OK", "text/plain", 0, "", nullptr);
        client.SendData(client.ClientPage);
    };
    std::vector<std::unique_ptr<TestPeer>> peers;
    for (int i = 0; i < 40; ++i) {
        peers.push_back(Connect());
        ASSERT_TRUE(peers.back()->Send("GET /" + std::to_string(i) + " HTTP/1.0\r\n\r\n"));
    }
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(peers[static_cast<std::size_t>(i)]->ReadUntilClosed());
        EXPECT_EQ(peers[static_cast<std::size_t>(i)]->received(),
                  StoreAnswerHead("200 OK") + "/" + std::to_string(i));
    }
    // Every slot is free again and the next connection takes slot 1 of a trimmed table.
    recorder.clients.clear();
    EXPECT_EQ(Hooks().liveObjects["WebServerClient"], 0);
    auto again = Connect();
    ASSERT_TRUE(again->Send("GET /x HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(again->ReadUntilClosed());
    EXPECT_EQ(again->received(), StoreAnswerHead("200 OK") + "/x");
}

TEST_F(WebServerTest, ListeningOnABusyPortFailsWithItsReason) {
    auto second = WebServer::Create();
    try {
        second->Listen(port);
        FAIL() << "listened twice on one port";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 10048);
    }
    EXPECT_EQ(second->GetPort(), port);
    EXPECT_EQ(second->GetPortInUse(), 0);
    EXPECT_EQ(Hooks().logLines.back(), "listen to port " + std::to_string(port));
}

TEST_F(WebServerTest, EventsAreTimedAndObjectsCounted) {
    EXPECT_EQ(Hooks().liveObjects["WebServer"], 1);
    EXPECT_EQ(Hooks().liveObjects["CSocket_Server"], 1);
    Exchange([](WebServerClient& client) {
        client.SendAnswer("HTTP/1.0", 200, "OK", "text/plain", 0, "", nullptr);
    });
    EXPECT_EQ(Hooks().liveObjects["WebServerClient"], 1);
    const std::vector<std::string> expected = {
        "+Event WebServer_NewClient",          "-Event WebServer_NewClient",
        "+Event WebServerClient_GetAnswer",    "-Event WebServerClient_GetAnswer",
        "+WebServerClient_SendAnswer",         "-WebServerClient_SendAnswer",
        "+Event WebServerClient_SendComplete", "-Event WebServerClient_SendComplete",
    };
    EXPECT_EQ(Hooks().procedures, expected);
    recorder.clients.clear();
    EXPECT_EQ(Hooks().liveObjects["WebServerClient"], 0);
    server.reset();
    EXPECT_EQ(Hooks().liveObjects["WebServer"], 0);
    EXPECT_EQ(Hooks().liveObjects["CSocket_Server"], 0);
    server = WebServer::Create();  // for TearDown
}

TEST_F(WebServerTest, ThePeerClosingIsReportedWithItsTiming) {
    auto peer = Connect();
    peer->Close();
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ClientCancelled") == 1; }));
    const auto& procedures = Hooks().procedures;
    EXPECT_NE(
        std::find(procedures.begin(), procedures.end(), "+Event WebServerClient_ClientCancelled"),
        procedures.end());
    EXPECT_EQ(procedures.back(), "-Event WebServerClient_ClientCancelled");
}

}  // namespace
}  // namespace pelorin
