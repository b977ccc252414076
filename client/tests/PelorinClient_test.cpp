// The store client against a recording server: the request bytes of every method, the
// judging of every answer, and how a call ends when the request goes wrong.
#include "client/PelorinClient.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/tests/Later.h"
#include "diagnostics/Hooks.h"
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/ProcessorTime.h"
#include "settings/ProgramSettings.h"
#include "testing/ScriptedHttpServer.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::AnswerBytes;
using testing::Later;
using testing::Reply;
using testing::ScriptedHttpServer;

// The error number a call fails with; 0 when it succeeds.
int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const PelorinClientError& e) {
        return e.number();
    }
    return 0;
}

// The lines every request carries between its request line and "Connection: Close".
const std::string kCommonLines =
    "Referer: \r\n"
    "Accept: */*\r\n"
    "User-Agent: Pelorin__ActiveX_Client/0.1\r\n"
    "Accept-Language: de\r\n";

std::string Request(const std::string& requestLine, const std::string& contentLines = "",
                    const std::string& body = "") {
    return requestLine + "\r\n" + kCommonLines + contentLines + "Connection: Close\r\n\r\n" + body;
}

class PelorinClientTest : public ::testing::Test {
  protected:
    PelorinClientTest() { client.SetPort(server.port()); }

    ScriptedHttpServer server;
    PelorinClient client;
};

struct RequestCase {
    const char* label;
    int status;  // the method's success status
    std::function<void(PelorinClient&)> call;
    std::string expected;
};

TEST_F(PelorinClientTest, EveryMethodSendsItsRequestBytes) {
    const std::vector<RequestCase> cases = {
        {"GetFile", 200, [](PelorinClient& c) { c.GetFile("a/b.txt"); },
         Request("GET /a/b.txt HTTP/1.0")},
        {"NewFolder", 201, [](PelorinClient& c) { c.NewFolder("x"); }, Request("NEW /x/ HTTP/1.0")},
        {"NewFile", 201, [](PelorinClient& c) { c.NewFile("x"); }, Request("NEW /x HTTP/1.0")},
        {"DeleteFolder", 200, [](PelorinClient& c) { c.DeleteFolder("a"); },
         Request("DEL /a/ HTTP/1.0")},
        {"DeleteFile", 200, [](PelorinClient& c) { c.DeleteFile("a/b"); },
         Request("DEL /a/b HTTP/1.0")},
        {"DirFolder", 200, [](PelorinClient& c) { c.DirFolder("d"); }, Request("DIR /d/ HTTP/1.0")},
        {"DirFile", 200, [](PelorinClient& c) { c.DirFile("d/f"); }, Request("DIR /d/f HTTP/1.0")},
        {"SetFile", 200, [](PelorinClient& c) { c.SetFile("a/b.txt", "abc"); },
         Request("SET /a/b.txt HTTP/1.0",
                 "Content-Length: 3\r\nContent-Type: application/x-www-form-urlencoded\r\n",
                 "abc")},
        // An empty content sends neither length, type nor body.
        {"SetFile empty", 200, [](PelorinClient& c) { c.SetFile("e", ""); },
         Request("SET /e HTTP/1.0")},
        // Names go out unchanged: no trimming, escaping or folding of slashes.
        {"space in name", 200, [](PelorinClient& c) { c.GetFile(" a b "); },
         Request("GET / a b  HTTP/1.0")},
        {"folder ending in slash", 201, [](PelorinClient& c) { c.NewFolder("x/"); },
         Request("NEW /x// HTTP/1.0")},
        {"empty name", 200, [](PelorinClient& c) { c.DirFolder(""); }, Request("DIR // HTTP/1.0")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        server.QueueAnswer(AnswerBytes(c.status, "X"));
        const std::size_t before = server.requests().size();
        EXPECT_EQ(ErrorOf([&] { c.call(client); }), 0);
        ASSERT_EQ(server.requests().size(), before + 1);
        EXPECT_EQ(server.requests().back(), c.expected);
    }
}

TEST_F(PelorinClientTest, SetFileSendsALargeBinaryBodyWhole) {
    std::string content(3 * 1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>((i * 7919u) >> 3);
    }
    server.QueueAnswer(AnswerBytes(200, "OK"));
    client.SetFile("big", content);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], Request("SET /big HTTP/1.0",
                                            "Content-Length: 3145735\r\nContent-Type: "
                                            "application/x-www-form-urlencoded\r\n",
                                            content));
}

// Each new object runs the start routine on its thread: whatever changed the thread's
// module state before, its requests come out right.
TEST(PelorinClientStart, ANewObjectResetsTheThreadsModuleState) {
    SetLineBreak("\n");
    SetDebugReady(false);
    SetUnloading(true);
    ScriptedHttpServer server;
    PelorinClient client;
    EXPECT_EQ(LineBreak(), "\r\n");
    EXPECT_TRUE(IsDebugReady());
    EXPECT_FALSE(IsUnloading());
    client.SetPort(server.port());
    server.QueueAnswer(AnswerBytes(404, "Not Found"));
    EXPECT_FALSE(client.DirFile("x"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], Request("DIR /x HTTP/1.0"));
}

TEST(PelorinClientPort, SetPortChoosesTheServer) {
    ScriptedHttpServer first;
    ScriptedHttpServer second;
    PelorinClient client;
    client.SetPort(second.port());
    client.DirFile("x");
    EXPECT_EQ(first.accepted(), 0);
    EXPECT_EQ(second.accepted(), 1);
}

// One answer to one method, and what the method makes of it.
struct StatusCase {
    const char* label;
    std::string answer;
    std::function<std::string(PelorinClient&)> call;
    int error;             // 0: the call succeeds
    std::string returned;  // when it succeeds
};

std::function<std::string(PelorinClient&)> Void(void (PelorinClient::*method)(const std::string&)) {
    return [method](PelorinClient& c) {
        (c.*method)("n");
        return std::string();
    };
}

TEST_F(PelorinClientTest, EachMethodAcceptsOnlyItsSuccessStatus) {
    const auto dirFile = [](PelorinClient& c) {
        return std::string(c.DirFile("f") ? "true" : "false");
    };
    const auto getFile = [](PelorinClient& c) { return c.GetFile("f"); };
    const auto dirFolder = [](PelorinClient& c) { return c.DirFolder("d"); };
    const auto setFile = [](PelorinClient& c) {
        c.SetFile("f", "x");
        return std::string();
    };
    const std::vector<StatusCase> cases = {
        {"NewFolder 201", AnswerBytes(201, "Created"), Void(&PelorinClient::NewFolder), 0, ""},
        {"NewFolder 200", AnswerBytes(200, "OK"), Void(&PelorinClient::NewFolder), 5, ""},
        {"NewFile 201", AnswerBytes(201, "Created"), Void(&PelorinClient::NewFile), 0, ""},
        {"NewFile 200", AnswerBytes(200, "OK"), Void(&PelorinClient::NewFile), 5, ""},
        {"NewFile 409", AnswerBytes(409, "Conflict"), Void(&PelorinClient::NewFile), 5, ""},
        {"DeleteFolder 200", AnswerBytes(200, "OK"), Void(&PelorinClient::DeleteFolder), 0, ""},
        {"DeleteFolder 201", AnswerBytes(201, "Created"), Void(&PelorinClient::DeleteFolder), 5,
         ""},
        {"DeleteFile 200", AnswerBytes(200, "OK"), Void(&PelorinClient::DeleteFile), 0, ""},
        {"DeleteFile 404", AnswerBytes(404, "Not Found"), Void(&PelorinClient::DeleteFile), 5, ""},
        {"DirFile 200", AnswerBytes(200, "OK", "Found"), dirFile, 0, "true"},
        {"DirFile 404", AnswerBytes(404, "Not Found"), dirFile, 0, "false"},
        {"DirFile 403", AnswerBytes(403, "Forbidden"), dirFile, 5, ""},
        {"DirFile 201", AnswerBytes(201, "Created"), dirFile, 5, ""},
        {"GetFile 200", AnswerBytes(200, "OK", "body"), getFile, 0, "body"},
        {"GetFile empty file", AnswerBytes(200, "OK"), getFile, 0, ""},
        {"GetFile keeps every byte", AnswerBytes(200, "OK", std::string("\0\r\n\x80\xff\r", 6)),
         getFile, 0, std::string("\0\r\n\x80\xff\r", 6)},
        {"GetFile 404", AnswerBytes(404, "Not Found"), getFile, 5, ""},
        {"GetFile 400", AnswerBytes(400, "Bad Request", "Fehler 53: File not found"), getFile, 5,
         ""},
        {"GetFile 200.5", AnswerBytes(200, "OK").replace(9, 3, "200.5"), getFile, 5, ""},
        {"SetFile 200", AnswerBytes(200, "OK"), setFile, 0, ""},
        {"SetFile 201", AnswerBytes(201, "Created"), setFile, 5, ""},
        {"DirFolder 200 listing", AnswerBytes(200, "OK", "xtxt\r\nsub\\\r\n"), dirFolder, 0,
         "xtxt\rsub\\\r"},
        {"DirFolder empty folder", AnswerBytes(200, "OK"), dirFolder, 0, ""},
        // Only CR LF pairs are replaced; lone line feeds and returns stay.
        {"DirFolder lone breaks", AnswerBytes(200, "OK", "a\nb\r\r\nc\r"), dirFolder, 0,
         "a\nb\r\rc\r"},
        {"DirFolder 404", AnswerBytes(404, "Not Found"), dirFolder, 5, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        server.QueueAnswer(c.answer);
        std::string returned;
        EXPECT_EQ(ErrorOf([&] { returned = c.call(client); }), c.error);
        if (c.error == 0) {
            EXPECT_EQ(returned, c.returned);
        }
    }
}

TEST_F(PelorinClientTest, TheGenericFailureCarriesNoDetailOfTheAnswer) {
    server.QueueAnswer(AnswerBytes(404, "Not Found", "no such file"));
    try {
        client.GetFile("f");
        FAIL() << "no failure";
    } catch (const PelorinClientError& e) {
        EXPECT_EQ(e.number(), PelorinClient::kFailed);
        EXPECT_STREQ(e.what(), "Invalid procedure call or argument");
    }
}

// The web client keeps the last status until a new status line arrives: an answer
// without one must fail, not pass as the previous request's success.
TEST_F(PelorinClientTest, AnAnswerWithoutStatusLineFailsEvenAfterASuccess) {
    server.QueueAnswer(AnswerBytes(200, "OK", "Found"));
    EXPECT_TRUE(client.DirFile("f"));
    server.QueueAnswer("");
    EXPECT_EQ(ErrorOf([&] { client.DirFile("f"); }), 5);
    server.QueueAnswer(AnswerBytes(200, "OK", "Found"));
    EXPECT_TRUE(client.DirFile("f"));
    server.QueueAnswer("HTTP/1.0 200\r\n\r\nFound");  // malformed: dropped by the parser
    EXPECT_EQ(ErrorOf([&] { client.DirFile("f"); }), 5);
}

TEST_F(PelorinClientTest, AServerThatClosesAtOnceFailsTheCall) {
    server.Queue(Reply{.kind = Reply::Kind::CloseAtOnce});
    EXPECT_EQ(ErrorOf([&] { client.GetFile("f"); }), 5);
    // The object is still usable.
    server.QueueAnswer(AnswerBytes(200, "OK", "again"));
    EXPECT_EQ(client.GetFile("f"), "again");
}

TEST(PelorinClientNoServer, ACallWithoutServerFailsWithinSeconds) {
    std::int32_t closedPort = 0;
    {
        ScriptedHttpServer gone;
        closedPort = gone.port();
    }
    PelorinClient client;
    client.SetPort(closedPort);
    Later guard(15000, [&] { client.Cancel(); });  // turns a hang into a failure
    const std::uint32_t start = platform::TickCount();
    EXPECT_EQ(ErrorOf([&] { client.NewFile("f"); }), 5);
    EXPECT_LT(platform::ElapsedMs(start, platform::TickCount()), 5000);
    EXPECT_FALSE(guard.ran());
}

TEST_F(PelorinClientTest, CancelFromAHandlerEndsTheWaitingCall) {
    server.Queue(Reply{.kind = Reply::Kind::HoldOpen});
    Later cancel(150, [&] { client.Cancel(); });
    EXPECT_EQ(ErrorOf([&] { client.GetFile("f"); }), 5);
    EXPECT_TRUE(cancel.ran());
}

TEST_F(PelorinClientTest, AfterCancelOnlySetPortWorks) {
    client.Cancel();
    EXPECT_EQ(ErrorOf([&] { client.GetFile("f"); }), 91);
    EXPECT_EQ(ErrorOf([&] { client.SetFile("f", "x"); }), 91);
    EXPECT_EQ(ErrorOf([&] { client.DirFile("f"); }), 91);
    EXPECT_EQ(ErrorOf([&] { client.Cancel(); }), 91);
    EXPECT_EQ(ErrorOf([&] { client.SetPort(9000); }), 0);
    EXPECT_EQ(server.accepted(), 0);
    try {
        client.NewFile("f");
    } catch (const PelorinClientError& e) {
        EXPECT_STREQ(e.what(), "Object variable or With block variable not set");
    }
}

TEST_F(PelorinClientTest, ASecondCallWhileOneWaitsIsRefusedAndTheFirstGoesOn) {
    server.Queue(Reply{.kind = Reply::Kind::HoldOpen});
    int inner = -1;
    Later reenter(150, [&] {
        inner = ErrorOf([&] { client.GetFile("second"); });
        server.Release(AnswerBytes(200, "OK", "first"));
    });
    Later guard(10000, [&] { client.Cancel(); });  // turns a hang into a failure
    EXPECT_EQ(client.GetFile("first"), "first");
    EXPECT_EQ(inner, PelorinClient::kStillRunning);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], Request("GET /first HTTP/1.0"));
    // Once the first call returned the object takes calls again.
    server.QueueAnswer(AnswerBytes(200, "OK", "next"));
    EXPECT_EQ(client.GetFile("next"), "next");
}

TEST(PelorinClientLifetime, DestroyingTheObjectFromAHandlerEndsItsCall) {
    ScriptedHttpServer server;
    server.Queue(Reply{.kind = Reply::Kind::HoldOpen});
    auto client = std::make_unique<PelorinClient>();
    client->SetPort(server.port());
    Later destroy(150, [&] { client.reset(); });
    PelorinClient* raw = client.get();
    EXPECT_EQ(ErrorOf([&] { raw->GetFile("f"); }), 5);
    EXPECT_EQ(client, nullptr);
}

// Destruction cannot fail, whichever thread drops the object; the creating thread's
// other objects go on working.
TEST(PelorinClientLifetime, DestroyingTheObjectOnAnotherThreadIsHarmless) {
    ScriptedHttpServer server;
    auto dropped = std::make_unique<PelorinClient>();
    dropped->SetPort(server.port());
    server.QueueAnswer(AnswerBytes(200, "OK", "first"));
    EXPECT_EQ(dropped->GetFile("f"), "first");
    std::thread other([&] { dropped.reset(); });
    other.join();
    PelorinClient client;
    client.SetPort(server.port());
    server.QueueAnswer(AnswerBytes(200, "OK", "still"));
    EXPECT_EQ(client.GetFile("f"), "still");
}

// Its sockets and timers report to the creating thread: a call from another thread
// would wait forever, so it is refused before anything is sent.
TEST_F(PelorinClientTest, CallsFromAnotherThreadAreRefused) {
    int getFile = 0;
    int cancel = 0;
    std::thread other([&] {
        getFile = ErrorOf([&] { client.GetFile("f"); });
        cancel = ErrorOf([&] { client.Cancel(); });
    });
    other.join();
    EXPECT_EQ(getFile, PelorinClient::kFailed);
    EXPECT_EQ(cancel, PelorinClient::kFailed);
    server.QueueAnswer(AnswerBytes(200, "OK", "mine"));
    EXPECT_EQ(client.GetFile("f"), "mine");
    EXPECT_EQ(server.accepted(), 1);
}

TEST_F(PelorinClientTest, AQuitRequestDuringTheWaitIsKeptForTheCallersLoop) {
    server.Queue(Reply{.kind = Reply::Kind::HoldOpen});
    Later quit(20, [&] {
        platform::PostQuit(3);
        server.Release(AnswerBytes(200, "OK", "x"));
    });
    EXPECT_EQ(client.GetFile("f"), "x");
    ASSERT_TRUE(quit.ran());
    bool sawQuit = false;
    platform::Msg msg;
    for (int i = 0; i < 1000 && platform::PeekMsg(msg); ++i) {
        if (msg.message == platform::kWmQuit) {
            sawQuit = true;
            EXPECT_EQ(msg.wParam, 3u);
            break;
        }
        platform::DispatchMsg(msg);
    }
    EXPECT_TRUE(sawQuit);
}

// The wait sleeps in the message queue: a call held open for 400 ms costs the caller
// next to no processor time. The spin check first proves the measurement sees a busy
// thread at all.
TEST_F(PelorinClientTest, TheWaitUsesNoProcessorTime) {
    // A memory checker spends processor time of its own on every instruction the call
    // runs, far beyond the limit below; the measurement means nothing there.
    if (testing::TimeScale() > 1)
        GTEST_SKIP() << "processor time is not measured in a slowed-down run";
    const std::uint64_t spinStart = platform::ProcessorTimeMicroseconds();
    const std::uint32_t wallStart = platform::TickCount();
    while (platform::ProcessorTimeMicroseconds() - spinStart < 50000u &&
           platform::ElapsedMs(wallStart, platform::TickCount()) < 3000) {
    }
    ASSERT_GE(platform::ProcessorTimeMicroseconds() - spinStart, 50000u);

    server.Queue(Reply{.kind = Reply::Kind::HoldOpen});
    Later answer(400, [&] { server.Release(AnswerBytes(200, "OK", "late")); });
    const std::uint64_t before = platform::ProcessorTimeMicroseconds();
    EXPECT_EQ(client.GetFile("f"), "late");
    EXPECT_LT(platform::ProcessorTimeMicroseconds() - before, 150000u);
}

}  // namespace
}  // namespace pelorin
