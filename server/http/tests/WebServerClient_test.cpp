// The request parser over real loopback connections: how arrivals are split does not
// matter, lines end at a carriage return only, the body is cut to Content-Length, one
// request per connection, and requests it cannot take are answered 400 and closed.
#include "server/http/WebServerClient.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/http/tests/HttpServerFixture.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::HttpServerTest;
using testing::PumpFor;
using testing::PumpUntil;
using testing::StoreAnswerHead;
using testing::TestPeer;
using Events = std::vector<std::string>;

class ParserTest : public HttpServerTest {
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
        EXPECT_TRUE(peer->Send(request));
        EXPECT_TRUE(peer->ReadUntilClosed());
        EXPECT_TRUE(PumpUntil([&] { return recorder.Count("ClientCancelled") > 0; }));
        EXPECT_EQ(recorder.Count("ReadyForData"), 0);
        return peer->received();
    }

    std::vector<std::unique_ptr<TestPeer>> peers;
};

TEST_F(ParserTest, ARequestInOnePieceCompletesAtItsEmptyLine) {
    WebServerClient& client = Parse("GET /a HTTP/1.0\r\n\r\n");
    EXPECT_EQ(client.ClientCommand, "GET");
    EXPECT_EQ(client.ClientPage, "/a");
    EXPECT_EQ(client.ClientHTTPVersion, "HTTP/1.0");
    EXPECT_EQ(client.ClientHeaders, nullptr);
    EXPECT_EQ(client.ClientContentLength, 0);
    EXPECT_EQ(client.ClientPostData, "");
    EXPECT_EQ(recorder.events, (Events{"GetAnswer", "ReadyForData"}));
    EXPECT_EQ(client.GetClientIP(), "127.0.0.1");
}

TEST_F(ParserTest, SingleByteArrivalsGiveTheSameRequestOnce) {
    auto peer = Connect();
    SendBytewise(*peer, "SET /a HTTP/1.0\r\nX-A: 1\r\nContent-Length: 2\r\n\r\nxyz");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ReadyForData") == 1; }));
    PumpFor(50);
    EXPECT_EQ(recorder.events, (Events{"GetAnswer", "NewHeader X-A=1", "ReadyForData"}));
    EXPECT_EQ(LastClient().ClientPage, "/a");
    EXPECT_EQ(LastClient().ClientPostData, "xy");
}

TEST_F(ParserTest, LineFeedsAloneNeverEndALineAndAreDroppedFromLines) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("GET /a HTTP/1.0\n\n"));
    PumpFor(150);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(peer->Poll());  // still open, still waiting
    ASSERT_TRUE(peer->Send("X\r\nB: 1\n2\r\n\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ReadyForData") == 1; }));
    EXPECT_EQ(LastClient().ClientHTTPVersion, "HTTP/1.0X");
    EXPECT_EQ(LastClient().ClientHeaders->GetHeaderValue("B"), "12");
}

TEST_F(ParserTest, ContentLengthCutsTheBodyAndAShortBodyWaits) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("SET /a HTTP/1.0\r\nContent-Length: 3\r\n\r\nab"));
    PumpFor(100);
    EXPECT_EQ(recorder.Count("ReadyForData"), 0);
    ASSERT_TRUE(peer->Send("cdef"));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ReadyForData") == 1; }));
    EXPECT_EQ(LastClient().ClientPostData, "abc");
    EXPECT_EQ(LastClient().ClientContentLength, 3);
    EXPECT_EQ(LastClient().ClientHeaders, nullptr);  // Content-Length is not kept as a header
}

TEST_F(ParserTest, HeaderLinesAreTakenAsTheyStand) {
    WebServerClient& client = Parse(
        "SET /a HTTP/1.0\r\ncontent-LENGTH: 2\r\nNo-Space:x\r\nTwo: a: b\r\nPad:  v \r\n"
        "   \r\nbody");
    EXPECT_EQ(client.ClientContentLength, 2);
    EXPECT_EQ(client.ClientPostData, "bo");  // a line of spaces ends the headers
    ASSERT_NE(client.ClientHeaders, nullptr);
    ASSERT_EQ(client.ClientHeaders->Anzahl, 2);
    EXPECT_EQ(client.ClientHeaders->GetHeader(1)->TheName, "Two");
    EXPECT_EQ(client.ClientHeaders->GetHeader(1)->TheValue, "a: b");
    EXPECT_EQ(client.ClientHeaders->GetHeader(2)->TheName, "Pad");
    EXPECT_EQ(client.ClientHeaders->GetHeader(2)->TheValue, " v ");
    EXPECT_EQ(recorder.events,
              (Events{"GetAnswer", "NewHeader Two=a: b", "NewHeader Pad= v ", "ReadyForData"}));
}

TEST_F(ParserTest, RequestLinesSplitAtTheirFirstTwoSpaces) {
    struct Case {
        std::string line, command, page, version;
    };
    const std::vector<Case> cases = {
        {"GET", "", "", ""},
        {"GET /a", "GET", "", ""},
        {"GET /a b HTTP/1.0", "GET", "/a", "b HTTP/1.0"},
        {" /a HTTP/1.0", "", "/a", "HTTP/1.0"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        WebServerClient& client = Parse(c.line + "\r\n\r\n");
        EXPECT_EQ(client.ClientCommand, c.command) << c.line;
        EXPECT_EQ(client.ClientPage, c.page) << c.line;
        EXPECT_EQ(client.ClientHTTPVersion, c.version) << c.line;
    }
}

TEST_F(ParserTest, AContentLengthThatIsNoNumberIsZero) {
    WebServerClient& client = Parse("SET /a HTTP/1.0\r\nContent-Length: many\r\n\r\nbody");
    EXPECT_EQ(client.ClientContentLength, 0);
    EXPECT_EQ(client.ClientPostData, "");
}

TEST_F(ParserTest, DataAfterTheRequestIsIgnored) {
    WebServerClient& client = Parse("GET /a HTTP/1.0\r\n\r\nGET /b HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(peers.back()->Send("DEL /c HTTP/1.0\r\nX: y\r\n\r\n"));
    PumpFor(100);
    EXPECT_EQ(recorder.events, (Events{"GetAnswer", "ReadyForData"}));
    EXPECT_EQ(client.ClientCommand, "GET");
    EXPECT_EQ(client.ClientPage, "/a");
}

// The line feed of the empty line's CR LF may come with the next data: it still ends that
// line and never becomes the body's first byte.
TEST_F(ParserTest, ALineFeedArrivingAfterItsCarriageReturnStaysOutOfTheBody) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("SET /a HTTP/1.0\r"));
    PumpFor(50);
    ASSERT_TRUE(peer->Send("\nContent-Length: 3\r\n\r"));
    PumpFor(50);
    ASSERT_TRUE(peer->Send("\nabc"));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ReadyForData") == 1; }));
    EXPECT_EQ(LastClient().ClientPostData, "abc");
    EXPECT_EQ(LastClient().ClientContentLength, 3);

    // A body that really starts with a line feed keeps it.
    auto second = Connect();
    ASSERT_TRUE(second->Send("SET /a HTTP/1.0\r\nContent-Length: 2\r\n\r\n"));
    PumpFor(50);
    ASSERT_TRUE(second->Send("\nx"));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ReadyForData") == 2; }));
    EXPECT_EQ(LastClient().ClientPostData, "\nx");
}

TEST_F(ParserTest, LinesUpTo32766BytesAreTaken) {
    const std::string page(32766 - 6, 'p');  // "GET " + page + " V": 32,766 bytes
    WebServerClient& client =
        Parse("GET " + page + " V\r\nH: " + std::string(32763, 'v') + "\r\n\r\n");
    EXPECT_EQ(client.ClientPage.size(), page.size());
    EXPECT_EQ(client.ClientHTTPVersion, "V");
    EXPECT_EQ(client.ClientHeaders->GetHeaderValue("H").size(), 32763u);
}

TEST_F(ParserTest, ALineWithoutCarriageReturnInItsFirst32767BytesIsRefused) {
    const std::string expected = StoreAnswerHead("400 Bad Request") + "Fehler 6: Overflow";
    // No carriage return yet, and none to come.
    EXPECT_EQ(Refused(std::string(32767, 'a')), expected);
    // One that comes too late changes nothing.
    EXPECT_EQ(Refused("GET /a HTTP/1.0\r\nLong: " + std::string(32761, 'x') + "\r\n\r\n"),
              expected);
    EXPECT_EQ(recorder.Count("ClientCancelled"), 2);
}

TEST_F(ParserTest, LineFeedsCountTowardsTheLineLimit) {
    EXPECT_EQ(Refused(std::string(40000, '\n')),
              StoreAnswerHead("400 Bad Request") + "Fehler 6: Overflow");
}

TEST_F(ParserTest, AContentLengthOutsideZeroTo32BitsIsRefused) {
    const std::string head = StoreAnswerHead("400 Bad Request");
    EXPECT_EQ(Refused("SET /a HTTP/1.0\r\nContent-Length: -1\r\n\r\n"),
              head + "Fehler 5: Invalid procedure call or argument");
    EXPECT_EQ(Refused("SET /a HTTP/1.0\r\nContent-Length: 2147483648\r\n\r\nx"),
              head + "Fehler 6: Overflow");
    EXPECT_EQ(Refused("SET /a HTTP/1.0\r\nContent-Length: 99999999999999999999\r\n\r\n"),
              head + "Fehler 6: Overflow");
    EXPECT_EQ(recorder.Count("GetAnswer"), 3);
}

TEST_F(ParserTest, TheLargest32BitContentLengthIsWaitedFor) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("SET /a HTTP/1.0\r\nContent-Length: 2147483647\r\n\r\nabc"));
    PumpFor(100);
    EXPECT_EQ(recorder.Count("ReadyForData"), 0);
    EXPECT_FALSE(peer->Poll());
    EXPECT_EQ(LastClient().ClientContentLength, 2147483647);
}

TEST_F(ParserTest, MoreHeadersThanAListHoldsAreRefused) {
    std::string request = "GET /a HTTP/1.0\r\n";
    for (int i = 0; i <= WebClient_Header::kMaxHeaders; ++i) request += "A: b\r\n";
    EXPECT_EQ(Refused(request + "\r\n"),
              StoreAnswerHead("400 Bad Request") + "Fehler 9: Subscript out of range");
}

// A peer other than 127.0.0.1 only ever gets 403, so the request is complete at the end of
// its headers: the announced body is not waited for, and no header is kept.
TEST_F(ParserTest, AnotherPeerIsCompleteAtItsHeadersWithoutBody) {
    AnswerEveryRequest(403, "Forbidden", "");
    auto peer = Connect("127.0.0.2");
    if (!peer) GTEST_SKIP() << "127.0.0.2 cannot be bound here";
    std::string clientIP;
    recorder.onReady = [&](WebServerClient& client) {
        clientIP = client.GetClientIP();
        EXPECT_EQ(client.ClientPostData, "");
        client.SendAnswer("HTTP/1.0", 403, "Forbidden", "text/plain", 0, "", nullptr);
    };
    ASSERT_TRUE(peer->Send("SET /a HTTP/1.0\r\nX-A: 1\r\nContent-Length: 100000\r\n\r\nabc"));
    ASSERT_TRUE(peer->ReadUntilClosed());
    EXPECT_EQ(peer->received(), StoreAnswerHead("403 Forbidden"));
    EXPECT_EQ(clientIP, "127.0.0.2");
    EXPECT_EQ(LastClient().ClientContentLength, 100000);
    EXPECT_EQ(LastClient().ClientHeaders, nullptr);
    EXPECT_EQ(recorder.events, (Events{"GetAnswer", "ReadyForData", "SendComplete"}));
}

// An empty piece handed over while the head is still being sent (the body of an empty
// file) must not hold the answer back: the send completes and the connection can end.
TEST_F(ParserTest, AnEmptyPieceBehindTheHeadStillCompletes) {
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

TEST_F(ParserTest, APeerClosingMidRequestCancelsWithoutReadyForData) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Send("SET /a HTTP/1.0\r\nContent-Length: 5\r\n\r\nab"));
    PumpFor(50);
    peer->Close();
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count("ClientCancelled") == 1; }));
    EXPECT_EQ(recorder.Count("ReadyForData"), 0);
    EXPECT_EQ(LastClient().GetClientIP(), "");
    LastClient().SendData("nobody hears this");  // dropped, no failure
}

}  // namespace
}  // namespace pelorin
