// The store served over real loopback connections, end to end through the HTTP server:
// the exact answer bytes of every command, the refused peer, requests in pieces, a SET
// cut off by the body's time limit, and the handler table as connections come and go.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ServerFixture.h"
#include "diagnostics/Debug_Modul.h"
#include "server/http/ConnectionTimeLimits.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"
#include "testing/TestSystem.h"

namespace pelorin {
namespace {

using testing::Answer;
using testing::PumpUntil;
using testing::TestPeer;
using Lines = std::vector<std::string>;
using StoreServer = testing::ServerFixture;

TEST_F(StoreServer, AnswersEveryCommandWithItsExactBytes) {
    Put("x", "hello");
    EXPECT_EQ(Request("GET /x HTTP/1.0\r\n\r\n"), Answer("200 OK", "hello"));
    EXPECT_EQ(Request("SET /x HTTP/1.0\r\nContent-Length: 3\r\n\r\nabcdef"), Answer("200 OK"));
    EXPECT_EQ(Contents("x"), "abc");  // cut to the announced length
    EXPECT_EQ(Request("NEW /n.txt HTTP/1.0\r\n\r\n"), Answer("201 Created"));
    EXPECT_EQ(Request("NEW /ntxt HTTP/1.0\r\n\r\n"), Answer("409 Conflict"));
    EXPECT_EQ(Request("NEW /d/ HTTP/1.0\r\n\r\n"), Answer("201 Created"));
    EXPECT_EQ(Request("DIR /d/ HTTP/1.0\r\n\r\n"), Answer("200 OK"));
    EXPECT_EQ(Request("NEW /d/f HTTP/1.0\r\n\r\n"), Answer("201 Created"));
    EXPECT_EQ(Request("DIR /d/ HTTP/1.0\r\n\r\n"), Answer("200 OK", "f\r\n"));
    EXPECT_EQ(Request("DIR /ntxt HTTP/1.0\r\n\r\n"), Answer("200 Found"));
    EXPECT_EQ(Request("DIR /d HTTP/1.0\r\n\r\n"), Answer("404 Not Found"));
    EXPECT_EQ(Request("DEL /d/ HTTP/1.0\r\n\r\n"),
              Answer("400 Bad Request", "Fehler 75: Path/File access error"));
    EXPECT_EQ(Request("DEL /d/f HTTP/1.0\r\n\r\n"), Answer("200 OK"));
    EXPECT_EQ(Request("DEL /d/ HTTP/1.0\r\n\r\n"), Answer("200 OK"));
    EXPECT_EQ(Request("GET /d/f HTTP/1.0\r\n\r\n"), Answer("404 Not Found"));
    EXPECT_EQ(Request("PUT /x HTTP/1.0\r\n\r\n"), Answer("501 Not Implemented"));
    EXPECT_EQ(Request("GET /a* HTTP/1.0\r\n\r\n"),
              Answer("400 Bad Request", "Fehler 52: Bad file name or number"));
    EXPECT_EQ(Names(), (Lines{"ntxt", "x"}));
}

TEST_F(StoreServer, TargetsTheFileSystemRefusesTouchNothing) {
    Put("a", "kept");
    const std::string bad = Answer("400 Bad Request", "Fehler 52: Bad file name or number");
    EXPECT_EQ(Request(std::string("SET /a\0b HTTP/1.0\r\nContent-Length: 1\r\n\r\nx", 41)), bad);
    EXPECT_EQ(Request("NEW /a:stream HTTP/1.0\r\n\r\n"), bad);
    EXPECT_EQ(Request("DEL /* HTTP/1.0\r\n\r\n"), bad);
    EXPECT_EQ(Request("DIR /? HTTP/1.0\r\n\r\n"), Answer("200 Found"));
    EXPECT_EQ(Names(), (Lines{"a"}));
    EXPECT_EQ(Contents("a"), "kept");
}

// Every form of length a client library may write: the body stored exactly, or a refusal
// that leaves the old content.
TEST_F(StoreServer, BodyLengthsAreTakenExactlyOrRefusedTouchingNothing) {
    const std::string typeMismatch = Answer("400 Bad Request", "Fehler 13: Type mismatch");
    const std::string invalid =
        Answer("400 Bad Request", "Fehler 5: Invalid procedure call or argument");
    struct Row {
        const char* label;
        const char* headers;
        std::string answer;
        const char* stored;  // the file afterwards
    };
    const std::vector<Row> rows{
        {"no space", "Content-Length:5\r\n", Answer("200 OK"), "hello"},
        {"a tab", "Content-Length:\t5\r\n", Answer("200 OK"), "hello"},
        {"spaces after", "Content-Length: 5  \r\n", Answer("200 OK"), "hello"},
        {"none: empty", "", Answer("200 OK"), ""},
        {"a word", "Content-Length: abc\r\n", typeMismatch, "kept"},
        {"an exponent", "Content-Length: 0.4e1\r\n", typeMismatch, "kept"},
        {"a fraction", "Content-Length: 4.5\r\n", typeMismatch, "kept"},
        {"two numbers", "Content-Length: 5 5\r\n", typeMismatch, "kept"},
        {"two that disagree", "Content-Length: 5\r\nContent-Length: 3\r\n", invalid, "kept"},
        {"a blank before the colon", "Content-Length : 5\r\n", invalid, "kept"},
        {"a coding beside a length", "Content-Length: 5\r\nTransfer-Encoding: gzip\r\n",
         Answer("501 Not Implemented"), "kept"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Put("f", "kept");
        EXPECT_EQ(Request(std::string("SET /f HTTP/1.1\r\n") + row.headers + "\r\nhello"),
                  row.answer);
        EXPECT_EQ(Contents("f"), row.stored);
    }
    EXPECT_EQ(Names(), (Lines{"f"}));
}

// A body in chunks, as HTTP/1.1 clients stream an upload of unknown length: the data of
// the chunks stored exactly, or a refusal that leaves the old content and no temporary.
TEST_F(StoreServer, ChunkedBodiesAreDecodedOrRefusedTouchingNothing) {
    const std::string chunked = "Transfer-Encoding: chunked\r\n";
    const std::string invalid =
        Answer("400 Bad Request", "Fehler 5: Invalid procedure call or argument");
    const std::string notImplemented = Answer("501 Not Implemented");
    struct Row {
        const char* label;
        std::string headers;
        const char* body;
        std::string answer;
        const char* stored;  // the file afterwards
    };
    const std::vector<Row> rows{
        {"two chunks", chunked, "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", Answer("200 OK"),
         "hello world"},
        {"an extension and a trailer", chunked, "5;x=y\r\nhello\r\n0\r\nX-Sum: 1\r\n\r\n",
         Answer("200 OK"), "hello"},
        {"only the last chunk", chunked, "0\r\n\r\n", Answer("200 OK"), ""},
        {"a size not in hex", chunked, "5x\r\nhello\r\n0\r\n\r\n",
         Answer("400 Bad Request", "Fehler 13: Type mismatch"), "kept"},
        {"sizes beyond 32 bits", chunked, "1\r\na\r\n7fffffff\r\n",
         Answer("400 Bad Request", "Fehler 6: Overflow"), "kept"},
        {"line feeds alone", chunked, "5\nhello\n0\n\n", invalid, "kept"},
        {"data longer than its size", chunked, "3\r\nhello\r\n0\r\n\r\n", invalid, "kept"},
        {"a length beside", "Content-Length: 5\r\n" + chunked, "5\r\nhello\r\n0\r\n\r\n", invalid,
         "kept"},
        {"another coding", "Transfer-Encoding: gzip\r\n", "hello", notImplemented, "kept"},
        {"another coding before chunked", "Transfer-Encoding: gzip, chunked\r\n",
         "5\r\nhello\r\n0\r\n\r\n", notImplemented, "kept"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Put("f", "kept");
        EXPECT_EQ(Request("SET /f HTTP/1.1\r\n" + row.headers + "\r\n" + row.body), row.answer);
        EXPECT_EQ(Contents("f"), row.stored);
        EXPECT_EQ(Names(), (Lines{"f"}));
    }
}

// A peer that leaves halfway through its chunks: the part that came is dropped with its
// temporary file, and the file keeps its content.
TEST_F(StoreServer, ChunkedBodyCutOffKeepsTheOldContent) {
    Put("f", "kept");
    TestPeer connection(port_);
    ASSERT_TRUE(connection.connected());
    connection.Send("SET /f HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel");
    ASSERT_TRUE(PumpUntil([&] { return Names().size() == 2; }));  // the temporary is there
    connection.Close();
    EXPECT_TRUE(PumpUntil([&] { return Names() == Lines{"f"}; }));
    EXPECT_EQ(Contents("f"), "kept");
}

TEST_F(StoreServer, ListsTheDataFolder) {
    Put("xtxt", "x");
    MakeDir("sub");
    const std::string answer = Request("DIR / HTTP/1.0\r\n\r\n");
    const std::string head = Answer("200 OK");
    ASSERT_TRUE(answer.starts_with(head)) << answer;
    const std::string body = answer.substr(head.size());
    EXPECT_TRUE(body == "xtxt\r\nsub\\\r\n" || body == "sub\\\r\nxtxt\r\n") << body;
}

TEST_F(StoreServer, LargeFilesGoBothWaysUnchanged) {
    std::string big(10 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
    Put("big", "");
    const std::string set = Request(
        "SET /big HTTP/1.0\r\nContent-Length: " + std::to_string(big.size()) + "\r\n\r\n" + big);
    EXPECT_EQ(set, Answer("200 OK"));
    EXPECT_TRUE(Contents("big") == big);
    const std::string get = Request("GET /big HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(get == Answer("200 OK", big)) << get.size();
}

TEST_F(StoreServer, RequestInSingleBytesIsServedOnce) {
    Put("x", "whole");
    TestPeer connection(port_);
    ASSERT_TRUE(connection.connected());
    const std::string request = "SET /x HTTP/1.0\r\nContent-Length: 4\r\n\r\nabcd";
    for (const char c : request) {
        connection.Send(std::string_view(&c, 1));
        testing::DrainQueue();  // a byte already arrived is read on its own
    }
    ASSERT_TRUE(connection.ReadUntilClosed());
    EXPECT_EQ(connection.received(), Answer("200 OK"));
    EXPECT_EQ(Contents("x"), "abcd");
    EXPECT_EQ(TakeLog(), (Lines{"SET /x", " Content: abcd", " file set"}));
}

// Refused as soon as they are accepted: the answer waits for no byte of theirs.
TEST_F(StoreServer, OtherPeersAreRefusedAtOnce) {
    TestPeer connection(port_, "127.0.0.2");
    if (!connection.connected()) GTEST_SKIP() << "no second loopback address here";
    ASSERT_TRUE(connection.ReadUntilClosed());
    EXPECT_EQ(connection.received(), Answer("403 Forbidden"));
    EXPECT_EQ(TakeLog(), (Lines{"Request by 127.0.0.2", " Error: forbidden"}));
    ASSERT_TRUE(PumpUntil([&] { return form_->FreeHandlerCount() == 1; }));
}

TEST_F(StoreServer, SetCutOffByTheBodyLimitKeepsTheOldContentAndNoTemporaryFile) {
    SetConnectionTimeLimits({.bodyMs = testing::ScaledMs(300)});
    Put("x", "kept");
    TestPeer connection(port_);
    ASSERT_TRUE(connection.connected());
    connection.Send("SET /x HTTP/1.0\r\nContent-Length: 10\r\n\r\nabc");
    const bool closed = connection.ReadUntilClosed();
    SetConnectionTimeLimits({});
    ASSERT_TRUE(closed);
    EXPECT_EQ(connection.received(), "");
    EXPECT_EQ(Contents("x"), "kept");
    EXPECT_EQ(Names(), Lines{"x"});
    EXPECT_EQ(TakeLog(), (Lines{"Request by 127.0.0.1", " Error: time limit of the body"}));
}

TEST_F(StoreServer, TableGrowsWhileAllAreBusyAndThenReuses) {
    Put("x", "1");
    std::vector<std::unique_ptr<TestPeer>> open;
    for (int i = 0; i < 9; ++i) {
        open.push_back(std::make_unique<TestPeer>(port_));
        ASSERT_TRUE(open.back()->connected());
        ASSERT_TRUE(PumpUntil([&] { return form_->HandlerCount() == open.size(); }));
    }
    // The tenth connection while nine wait grows the table to ten.
    EXPECT_EQ(Request("GET /x HTTP/1.0\r\n\r\n"), Answer("200 OK", "1"));
    EXPECT_EQ(form_->HandlerCount(), 10u);
    // The answered one's handler serves the next connection.
    EXPECT_EQ(Request("GET /x HTTP/1.0\r\n\r\n"), Answer("200 OK", "1"));
    EXPECT_EQ(form_->HandlerCount(), 10u);
    // A peer that leaves without a request frees its handler as well: with the answered
    // one, three wait, and the next two connections take two of them.
    open[3]->Close();
    open[4]->Close();
    ASSERT_TRUE(PumpUntil([&] { return form_->FreeHandlerCount() == 3; }));
    EXPECT_EQ(Request("GET /x HTTP/1.0\r\n\r\n"), Answer("200 OK", "1"));
    ASSERT_TRUE(PumpUntil([&] { return form_->FreeHandlerCount() == 3; }));
    TestPeer another(port_);
    ASSERT_TRUE(another.connected());
    ASSERT_TRUE(PumpUntil([&] { return form_->FreeHandlerCount() == 2; }));
    EXPECT_EQ(form_->HandlerCount(), 10u);
}

TEST_F(StoreServer, StoppingClosesOpenConnectionsAndTheListener) {
    TestPeer waiting(port_);
    TestPeer halfway(port_);
    ASSERT_TRUE(waiting.connected() && halfway.connected());
    halfway.Send("SET /x HTTP/1.0\r\nContent-Length: 10\r\n\r\nabc");
    ASSERT_TRUE(PumpUntil([&] { return form_->HandlerCount() == 2; }));
    Press();
    EXPECT_FALSE(form_->IsListening());
    EXPECT_EQ(form_->HandlerCount(), 0u);
    EXPECT_TRUE(waiting.ReadUntilClosed());
    EXPECT_TRUE(halfway.ReadUntilClosed());
    EXPECT_EQ(halfway.received(), "");
    EXPECT_FALSE(TestPeer(port_).connected());
    EXPECT_FALSE(Has("x"));
}

// A stop in the middle of a GET: the answer has no length, so its reader must see a reset,
// never an orderly end that would pass the part it got off as the whole file.
TEST_F(StoreServer, StoppingDuringAGetResetsItsConnection) {
    if (!testing::SystemReportsResets()) {
        GTEST_SKIP() << "this system hands a reset on as an orderly end (Wine)";
    }
    // The helper takes the system's own path, and "/" separates folders on both.
    std::string big = InData("big");
    std::replace(big.begin(), big.end(), '\\', '/');
    ASSERT_TRUE(testing::MakeSparseFile(big, 64u << 20));
    SetLogLevel(0);  // a logged GET would read the whole file first, for its " Content: " line
    TestPeer reader(port_);
    ASSERT_TRUE(reader.connected());
    ASSERT_TRUE(reader.Send("GET /big HTTP/1.0\r\n\r\n"));
    // A few bytes, and no more read until the stop has happened.
    ASSERT_TRUE(reader.ReadAtLeast(1000));
    Press();
    ASSERT_FALSE(form_->IsListening());
    ASSERT_TRUE(reader.ReadUntilClosed(10000));
    EXPECT_TRUE(reader.reset());
    EXPECT_LT(reader.received().size(), 64u << 20);
}

}  // namespace
}  // namespace pelorin
