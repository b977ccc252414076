// What a request can make its connection hold. With StreamBody the body is handed on as
// it arrives: however the request is cut into arrivals, the pieces make exactly the body,
// cut to its length, all before the request is complete, and none of it is kept. The
// headers kept are bounded in bytes as well as in number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/http/RequestParser.h"

namespace pelorin {
namespace {

class BodyOwner : public RequestParserEvents {
  public:
    void RequestLineRead(RequestParser&) override {}
    void HeaderAdded(RequestParser&, const std::shared_ptr<OneHeader>&) override {}
    void BodyArrived(RequestParser&, std::string_view piece) override {
        EXPECT_FALSE(piece.empty());
        EXPECT_EQ(completions, 0) << "body after the end";
        body.append(piece);
    }
    void RequestComplete(RequestParser&) override { ++completions; }
    void RequestRefused(RequestParser&, int number) override { refusals.push_back(number); }
    void CodingNotImplemented(RequestParser&) override { refusals.push_back(0); }

    std::string body;
    int completions = 0;
    std::vector<int> refusals;
};

struct Outcome {
    std::string body;
    int completions = 0;
    std::string kept;
    std::vector<int> refusals;
};

Outcome Feed(const std::vector<std::string_view>& arrivals) {
    ClientRequest request;
    RequestParser parser(request);
    BodyOwner owner;
    parser.SetEvents(&owner);
    parser.Reset(true);
    parser.StreamBody(true);
    for (const std::string_view arrival : arrivals) parser.Take(arrival);
    return {owner.body, owner.completions, request.ClientPostData, owner.refusals};
}

TEST(StreamedBody, EveryCutGivesTheBodyOnceCutToItsLength) {
    const std::string_view request = "SET /a V\r\nContent-Length: 10\r\n\r\n0123456789extra";
    for (std::size_t first = 0; first <= request.size(); ++first) {
        for (std::size_t second = first; second <= request.size(); ++second) {
            const Outcome outcome =
                Feed({request.substr(0, first), request.substr(first, second - first),
                      request.substr(second)});
            EXPECT_EQ(outcome.body, "0123456789") << first << "/" << second;
            EXPECT_EQ(outcome.completions, 1) << first << "/" << second;
            EXPECT_EQ(outcome.kept, "") << first << "/" << second;
        }
    }
}

TEST(StreamedBody, NoBodyAndAnEmptyBodyAreCompleteAtTheEmptyLine) {
    for (const std::string_view request :
         {"GET /a V\r\n\r\n", "SET /a V\r\nContent-Length: 0\r\n\r\nignored"}) {
        const Outcome outcome = Feed({request});
        EXPECT_EQ(outcome.body, "") << request;
        EXPECT_EQ(outcome.completions, 1) << request;
    }
    // A line feed that follows its carriage return in the next arrival is no body byte.
    const Outcome split = Feed({"SET /a V\r\nContent-Length: 2\r\n\r", "\n", "ab"});
    EXPECT_EQ(split.body, "ab");
    EXPECT_EQ(split.completions, 1);
}

// Up to kMaxHeaderBytes of names and values are kept; one byte more refuses the request
// as more than a connection may hold (error 7).
TEST(HeaderBytes, AreBoundedInSum) {
    const std::string line(kMaxRequestLineEnd - 100, 'v');
    const std::size_t perHeader = 1 + line.size();  // name "H" and the value
    const std::size_t fitting = kMaxHeaderBytes / perHeader;
    const std::size_t rest = kMaxHeaderBytes - fitting * perHeader;
    std::string head = "GET /a V\r\n";
    for (std::size_t i = 0; i < fitting; ++i) head += "H: " + line + "\r\n";
    const std::string last = "L: " + std::string(rest - 1, 'v') + "\r\n";
    const Outcome atTheBound = Feed({head, last, "\r\n"});
    EXPECT_EQ(atTheBound.completions, 1);
    EXPECT_EQ(atTheBound.refusals, std::vector<int>{});

    const Outcome beyond = Feed({head, "L: " + std::string(rest, 'v') + "\r\n", "\r\n"});
    EXPECT_EQ(beyond.completions, 0);
    EXPECT_EQ(beyond.refusals, std::vector<int>{7});
}

}  // namespace
}  // namespace pelorin
