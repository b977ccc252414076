// The request parser on its own, fed arrivals directly: what the connection tests cannot
// cut finely enough or reach from a socket.
#include "server/http/RequestParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace pelorin {
namespace {

class ParserOwner : public RequestParserEvents {
  public:
    void RequestLineRead(RequestParser& sender) override {
        events.push_back("line");
        if (onLine) onLine(sender);
    }
    void HeaderAdded(RequestParser&, const std::shared_ptr<OneHeader>& header) override {
        events.push_back("header " + header->TheName);
    }
    void RequestComplete(RequestParser&) override { events.push_back("complete"); }
    void RequestRefused(RequestParser&, int number) override {
        events.push_back("refused " + std::to_string(number));
    }

    std::vector<std::string> events;
    std::function<void(RequestParser&)> onLine;
};

class RequestParserTest : public ::testing::Test {
  protected:
    explicit RequestParserTest(std::size_t lineLimit = kMaxRequestLineEnd)
        : parser(request, lineLimit) {
        parser.SetEvents(&owner);
        parser.Reset(true);
    }

    ClientRequest request;
    RequestParser parser;
    ParserOwner owner;
};

using Events = std::vector<std::string>;

// The limit counts from the start of each line: many short lines in one arrival are far
// beyond it together and still fine.
class ShortLineLimit : public RequestParserTest {
  protected:
    ShortLineLimit() : RequestParserTest(10) {}
};

TEST_F(ShortLineLimit, CountsFromEachLinesStart) {
    parser.Take("GET / V\r\nA: 12345\r\nB: 12345\r\nC: 12345\r\n\r\n");
    EXPECT_EQ(owner.events, (Events{"line", "header A", "header B", "header C", "complete"}));
}

TEST_F(ShortLineLimit, RefusesALineThatCannotEndInTimeWhateverTheCut) {
    parser.Take("GET / V\r\nA: 1");
    parser.Take("23456");
    EXPECT_EQ(owner.events, (Events{"line"}));
    EXPECT_EQ(parser.BufferedBytes(), 9u);
    parser.Take("7");  // the tenth byte is no carriage return
    EXPECT_EQ(owner.events, (Events{"line", "refused 6"}));
    EXPECT_EQ(parser.BufferedBytes(), 0u);
    EXPECT_TRUE(parser.Finished());
    parser.Take("\r\n\r\n");
    EXPECT_EQ(owner.events, (Events{"line", "refused 6"}));
}

// An empty arrival between a carriage return and its line feed leaves the line feed to
// the carriage return: it does not become the body's first byte.
TEST_F(RequestParserTest, EmptyArrivalsChangeNothing) {
    for (const char* piece : {"", "SET /a V\r\nContent-Length: 2\r\n\r", "", "\n", "", "ab"}) {
        parser.Take(piece);
    }
    EXPECT_EQ(owner.events, (Events{"line", "complete"}));
    EXPECT_EQ(request.ClientPostData, "ab");
}

// The owner may start over from inside an event; the rest of that arrival belongs to the
// request it gave up.
TEST_F(RequestParserTest, AResetInsideAnEventDropsTheRestOfTheArrival) {
    owner.onLine = [](RequestParser& sender) { sender.Reset(true); };
    parser.Take("GET /a V\r\nX: 1\r\n\r\n");
    EXPECT_EQ(owner.events, (Events{"line"}));
    EXPECT_EQ(request.ClientPage, "");
    EXPECT_FALSE(parser.Finished());
    EXPECT_EQ(parser.BufferedBytes(), 0u);

    owner.onLine = nullptr;
    parser.Take("GET /b V\r\n\r\n");
    EXPECT_EQ(owner.events, (Events{"line", "line", "complete"}));
    EXPECT_EQ(request.ClientPage, "/b");
}

TEST_F(RequestParserTest, ARequestThatIsNotKeptIsCompleteAtItsHeaders) {
    parser.Reset(false);
    parser.Take("SET /a V\r\nX: 1\r\nContent-Length: 5\r\n\r\nab");
    EXPECT_EQ(owner.events, (Events{"line", "complete"}));
    EXPECT_EQ(request.ClientHeaders, nullptr);
    EXPECT_EQ(request.ClientContentLength, 5);
    EXPECT_EQ(request.ClientPostData, "");
}

}  // namespace
}  // namespace pelorin
