// The web client against a recording loopback server (request bytes, the pause before
// the request, answers, failures). Its answer parser has tables of its own
// (AnswerParser_test.cpp).
#include "net/WebClient.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/RuntimeError.h"
#include "net/CSocket.h"
#include "net/httpCookie.h"
#include "platform/Clock.h"
#include "testing/RecordingHooks.h"
#include "testing/ScriptedHttpServer.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"

namespace pelorin {
namespace {

using testing::PumpUntil;
using testing::Reply;
using testing::ScriptedHttpServer;

constexpr const char* kOkAnswer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhello";

// An owner that writes every event down, in order.
class Owner : public WebClientEvents {
  public:
    std::vector<std::string> events;
    std::vector<std::string> pieces;
    std::function<void(WebClient&)> onClosed = [](WebClient&) {};
    std::function<void(WebClient&)> onStartOfData = [](WebClient&) {};
    std::function<void(WebClient&)> onError = [](WebClient&) {};
    int errorNumber = -1;
    std::string errorText;

    bool Ended() const { return Count("Closed") + Count("Error") > 0; }
    int Count(const std::string& name) const {
        return static_cast<int>(std::count(events.begin(), events.end(), name));
    }

    void DataArrival(WebClient&, std::string& NewData) override {
        events.push_back("DataArrival");
        pieces.push_back(NewData);
    }
    void Closed(WebClient& sender) override {
        events.push_back("Closed");
        onClosed(sender);
    }
    void NewHeader(WebClient&, const std::shared_ptr<OneHeader>& header) override {
        events.push_back("NewHeader " + header->TheName);
    }
    void GetAnswer(WebClient&) override { events.push_back("GetAnswer"); }
    void Error(WebClient& sender, std::int32_t Number, std::string& Description) override {
        events.push_back("Error");
        errorNumber = Number;
        errorText = Description;
        onError(sender);
    }
    void StartOfDataArrival(WebClient& sender) override {
        events.push_back("StartOfDataArrival");
        onStartOfData(sender);
    }
};

class WebClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::ResetHooks();
        WebClient_Modul::ResetDefaultProxy();
        WebClient_Modul::SetDefaultUserAgent(WebClient_Modul::kClientLibraryUserAgent);
        client = WebClient::Create();
        client->SetEvents(&owner);
    }
    void TearDown() override {
        client->Cancel();
        client.reset();
    }

    std::string Address(std::uint16_t port, const std::string& path) const {
        return "http://localhost:" + std::to_string(port) + path;
    }

    Owner owner;
    std::shared_ptr<WebClient> client;
};

std::vector<std::string> SingleBytes(const std::string& text) {
    std::vector<std::string> out;
    for (char c : text) out.emplace_back(1, c);
    return out;
}

// ---- Requests on the wire ----

TEST_F(WebClientTest, PlainRequestIsWrittenAfterThePauseWithoutHostLine) {
    ScriptedHttpServer server(Reply{.pieces = {kOkAnswer}});
    client->GetPage(Address(server.port(), "/a/b.txt"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }));
    ASSERT_EQ(server.connections().size(), 1u);
    const auto& connection = server.connections()[0];
    EXPECT_EQ(connection.received,
              "GET /a/b.txt HTTP/1.0\r\n"
              "Referer: \r\n"
              "Accept: */*\r\n"
              "User-Agent: Pelorin__ActiveX_Client/0.1\r\n"
              "Accept-Language: de\r\n"
              "Connection: Close\r\n"
              "\r\n");
    // Written by the one-shot timer about 100 ms after the connection, not at once.
    const std::int32_t pause = platform::ElapsedMs(connection.acceptTick, connection.firstByteTick);
    EXPECT_GE(pause, 80);
    EXPECT_LT(pause, 2000);
    EXPECT_EQ(owner.events,
              (std::vector<std::string>{"GetAnswer", "NewHeader Content-Type", "StartOfDataArrival",
                                        "DataArrival", "Closed"}));
    EXPECT_EQ(client->Data, "hello");
    EXPECT_EQ(client->answer_Number, 200);
    EXPECT_EQ(client->GetAdresse(), Address(server.port(), "/a/b.txt"));
}

TEST_F(WebClientTest, FullRequestCarriesHostBodyCookiesAndExtraHeadersInOrder) {
    ScriptedHttpServer server(Reply{.pieces = {kOkAnswer}});
    auto extra = std::make_shared<WebClient_Header>();
    extra->NewHeader(CreateHeader("X-One", "1"));
    extra->NewHeader(CreateHeader("X-Two", "a: b"));
    auto jar = std::make_shared<httpCookie>();
    auto cookie = std::make_shared<httpCookieVariable>();
    cookie->myName = "s";
    cookie->myValue = "42";
    cookie->Domain = "localhost:" + std::to_string(server.port());
    cookie->Path = "/";
    jar->NewCookie(cookie);

    client->GetPage("HtTp://localhost:" + std::to_string(server.port()) + "/set?x", "SET",
                    "http/1.1", "http://ref/", "Agent/2", std::string("a\0\xff\r\n", 5),
                    "text/plain", extra, jar);
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }));
    ASSERT_EQ(server.connections().size(), 1u);
    EXPECT_EQ(server.connections()[0].received,
              "SET /set?x http/1.1\r\n"
              "Referer: http://ref/\r\n"
              "Accept: */*\r\n"
              "Host: localhost:" +
                  std::to_string(server.port()) +
                  "\r\n"
                  "User-Agent: Agent/2\r\n"
                  "Accept-Language: de\r\n"
                  "Content-Length: 5\r\n"
                  "Content-Type: text/plain\r\n"
                  "Cookie: s=42\r\n"
                  "X-One: 1\r\n"
                  "X-Two: a: b\r\n"
                  "Connection: Close\r\n"
                  "\r\n" +
                  std::string("a\0\xff\r\n", 5));
    EXPECT_EQ(owner.Count("Closed"), 1);
}

TEST_F(WebClientTest, ThroughAProxyTheRequestNamesTheWholeAddress) {
    ScriptedHttpServer proxy(Reply{.pieces = {kOkAnswer}});
    client->SetProxy("127.0.0.1:" + std::to_string(proxy.port()));
    // The named host is never looked up: the connection goes to the proxy.
    client->GetPage("http://store.invalid:81/x", "GET", "HTTP/1.1", "", "", "", "",
                    std::string("X-Raw: 1\r\n"), std::string("c=1; d=2"));
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }));
    ASSERT_EQ(proxy.connections().size(), 1u);
    const std::string& request = proxy.connections()[0].received;
    EXPECT_TRUE(request.starts_with("GET http://store.invalid:81/x HTTP/1.1\r\n")) << request;
    EXPECT_NE(request.find("\r\nHost: store.invalid:81\r\n"), std::string::npos);
    // Extra headers and cookies given as text go out as they are.
    EXPECT_NE(request.find("\r\nCookie: c=1; d=2\r\nX-Raw: 1\r\nConnection: Close\r\n\r\n"),
              std::string::npos);
}

TEST_F(WebClientTest, AgainConnectsAnewAndWritesTheSameRequest) {
    ScriptedHttpServer server(Reply{.pieces = {kOkAnswer}});
    client->GetPage(Address(server.port(), "/r"), "DEL", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return owner.Count("Closed") == 1; }));
    client->Again(10);
    ASSERT_TRUE(PumpUntil([&] { return owner.Count("Closed") == 2; }));
    ASSERT_EQ(server.connections().size(), 2u);
    EXPECT_EQ(server.connections()[0].received, server.connections()[1].received);
    // The second answer is parsed as an answer of its own.
    EXPECT_EQ(client->Data, "hello");
    EXPECT_EQ(client->answer_Headers->Anzahl, 1);
    EXPECT_EQ(owner.Count("GetAnswer"), 2);
}

TEST_F(WebClientTest, NextRequestMayStartInsideClosed) {
    ScriptedHttpServer server(Reply{.pieces = {kOkAnswer}});
    owner.onClosed = [&](WebClient& sender) {
        if (owner.Count("Closed") == 1)
            sender.GetPage(Address(server.port(), "/2"), "GET", "HTTP/1.0");
    };
    client->GetPage(Address(server.port(), "/1"), "GET", "HTTP/1.0");
    // The socket's clean-up after its Closed event leaves the new connection alone.
    ASSERT_TRUE(PumpUntil([&] { return owner.Count("Closed") == 2 || owner.Count("Error") > 0; }));
    EXPECT_EQ(owner.Count("Error"), 0);
    ASSERT_EQ(server.connections().size(), 2u);
    EXPECT_TRUE(server.connections()[1].received.starts_with("GET /2 HTTP/1.0\r\n"));
    EXPECT_EQ(client->Data, "hello");
}

// ---- Answers over the network ----

TEST_F(WebClientTest, AnswerDribbledByTheServerParsesAsAWhole) {
    const std::string answer = "HTTP/1.0 404 Not Found\nA: 1\r\nB: 2\n\nline1\r\nline2\n";
    ScriptedHttpServer server(Reply{.pieces = SingleBytes(answer), .pauseMs = 1});
    client->GetPage(Address(server.port(), "/"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }, 10000));
    EXPECT_EQ(owner.Count("Closed"), 1);
    EXPECT_EQ(client->answer_Number, 404);
    EXPECT_EQ(client->answer_Message, "Not Found");
    EXPECT_EQ(client->answer_Headers->Anzahl, 2);
    EXPECT_EQ(client->answer_Headers->GetHeaderValue("B"), "2");
    EXPECT_EQ(client->Data, "line1\r\nline2\n");
}

TEST_F(WebClientTest, LargeBodyArrivesWholeAndClosedMarksItsEnd) {
    std::string body(300000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + i / 256);
    ScriptedHttpServer server(Reply{.pieces = {"HTTP/1.0 200 OK\r\n\r\n", body}});
    std::size_t arrived = 0;
    client->GetPage(Address(server.port(), "/big"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }, 20000));
    EXPECT_EQ(owner.Count("Closed"), 1);
    EXPECT_EQ(client->Data.size(), body.size());
    EXPECT_TRUE(client->Data == body);
    for (const auto& piece : owner.pieces) arrived += piece.size();
    EXPECT_EQ(arrived, body.size());
}

// ---- Failures ----

TEST_F(WebClientTest, ServerThatClosesAtOnceGivesServerCancelled) {
    ScriptedHttpServer server(Reply{.kind = Reply::Kind::CloseAtOnce});
    client->GetPage(Address(server.port(), "/x"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }));
    testing::PumpFor(200);  // the request timer must not write or report anything later
    EXPECT_EQ(owner.events, std::vector<std::string>{"Error"});
    EXPECT_EQ(owner.errorNumber, 0);
    EXPECT_EQ(owner.errorText, "Server cancelled");
}

TEST_F(WebClientTest, NoServerGivesAnErrorWithinSeconds) {
    const std::uint16_t port = testing::UnusedLoopbackPort();
    const std::uint32_t start = platform::TickCount();
    client->GetPage("127.0.0.1:" + std::to_string(port) + "/x", "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }, 8000));
    EXPECT_LT(platform::ElapsedMs(start, platform::TickCount()), 8000);
    EXPECT_EQ(owner.events, std::vector<std::string>{"Error"});
    EXPECT_EQ(owner.errorNumber, 0);
    EXPECT_FALSE(owner.errorText.empty());
}

TEST_F(WebClientTest, UnusablePortIsReportedBeforeGetPageReturns) {
    client->GetPage("127.0.0.1:65535/x", "GET", "HTTP/1.0");
    EXPECT_EQ(owner.events, std::vector<std::string>{"Error"});
    EXPECT_EQ(owner.errorNumber, CSocketErrors::kBadPort);
    EXPECT_EQ(owner.errorText, "bad port");
}

TEST_F(WebClientTest, PortThatDoesNotFitIsRefusedAndChangesNothing) {
    ScriptedHttpServer server(Reply{.pieces = {"HTTP/1.0 200 OK\r\n\r\nold"}});
    client->GetPage(Address(server.port(), "/"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }));
    ASSERT_EQ(client->Data, "old");
    const std::string address = client->GetAdresse();
    try {
        client->GetPage("localhost:99999999999/x", "GET", "HTTP/1.0");
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errors::kOverflow);
    }
    EXPECT_EQ(client->Data, "old");
    EXPECT_EQ(client->GetAdresse(), address);
}

TEST_F(WebClientTest, OwnerMayDropTheClientInsideItsEvents) {
    ScriptedHttpServer server(Reply{.pieces = {kOkAnswer}});
    std::weak_ptr<WebClient> watch = client;
    owner.onClosed = [&](WebClient&) { client.reset(); };
    client->GetPage(Address(server.port(), "/"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return watch.expired(); }));
    EXPECT_EQ(owner.Count("Closed"), 1);
    client = WebClient::Create();  // for TearDown

    ScriptedHttpServer refusing(Reply{.kind = Reply::Kind::CloseAtOnce});
    watch = client;
    client->SetEvents(&owner);
    owner.onError = [&](WebClient&) { client.reset(); };
    client->GetPage(Address(refusing.port(), "/"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return watch.expired(); }));
    client = WebClient::Create();
}

TEST_F(WebClientTest, DroppedClientLeavesNoSocketOrTimerBehind) {
    ScriptedHttpServer server(Reply{.pieces = {kOkAnswer}, .pauseMs = 2000});
    client->GetPage(Address(server.port(), "/"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return !server.connections().empty(); }));
    client.reset();  // while connected, with the request timer running
    auto& live = testing::Hooks().liveObjects;
    EXPECT_TRUE(PumpUntil(
        [&] { return live["WebClient"] == 0 && live["CSocket"] == 0 && live["ATimer"] == 0; }));
    EXPECT_TRUE(owner.events.empty());
    client = WebClient::Create();
}

TEST_F(WebClientTest, CancelAndDisconnectEndARequestSilently) {
    ScriptedHttpServer server(Reply{.pieces = {kOkAnswer}});
    client->GetPage(Address(server.port(), "/"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return !server.connections().empty(); }));
    client->Disconnect();
    testing::PumpFor(250);
    EXPECT_TRUE(owner.events.empty());
    EXPECT_EQ(server.connections()[0].received, "");  // the timer found no connection

    client->GetPage(Address(server.port(), "/"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return server.connections().size() == 2; }));
    client->Cancel();
    testing::PumpFor(250);
    EXPECT_TRUE(owner.events.empty());
    EXPECT_EQ(server.connections()[1].received, "");

    // The web client still works afterwards.
    client->GetPage(Address(server.port(), "/"), "GET", "HTTP/1.0");
    ASSERT_TRUE(PumpUntil([&] { return owner.Ended(); }));
    EXPECT_EQ(owner.events.back(), "Closed");
}

// ---- Addresses and proxies ----

TEST_F(WebClientTest, SetProxyTable) {
    client->SetProxy("");
    EXPECT_EQ(client->ProxyServer, "");
    EXPECT_EQ(client->ProxyPort, 8080);
    client->SetProxy("proxy:3128");
    EXPECT_EQ(client->ProxyServer, "proxy");
    EXPECT_EQ(client->ProxyPort, 3128);
    client->SetProxy("p:80.5");  // halves go to the even neighbour
    EXPECT_EQ(client->ProxyPort, 80);
    client->SetProxy("p:x");
    EXPECT_EQ(client->ProxyPort, 0);
    EXPECT_THROW(client->SetProxy("p:1e12"), RuntimeError);
    EXPECT_EQ(client->ProxyServer, "p");
}

}  // namespace
}  // namespace pelorin
