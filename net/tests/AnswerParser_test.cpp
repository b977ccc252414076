// The answer parser from tables: each row is the bytes of one answer and the events and
// body they must give. Every row is fed whole, byte by byte (with an empty arrival after
// each byte), and cut into two pieces at every position, and each way must give exactly
// the row's outcome: how TCP cuts an answer never shows. The end of the connection
// follows the last piece.
#include "net/AnswerParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "net/WebClient_Header.h"

namespace pelorin {
namespace {

using Events = std::vector<std::string>;

struct Outcome {
    // "status version|number|message", "header name: value", "head", "end body"/"end head"
    Events events{};
    std::string body{};
    bool operator==(const Outcome&) const = default;
};

std::string Shown(std::string_view text) {
    std::string shown = "[";
    for (const char c : text) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return shown + "]";
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    out << "events:";
    for (const auto& e : o.events) out << " " << Shown(e);
    return out << "\n  body: " << Shown(o.body);
}

class Recorder : public AnswerParserEvents {
  public:
    void StatusLineRead(AnswerParser&, const std::string& version, double number,
                        const std::string& message) override {
        Note("status " + version + "|" + FormatNumber(number) + "|" + message);
    }
    void HeaderRead(AnswerParser&, const std::string& name, const std::string& value) override {
        Note("header " + name + ": " + value);
    }
    void HeadEnded(AnswerParser& sender) override {
        Note("head");
        if (onHead) onHead(sender);
    }
    void BodyArrived(AnswerParser& sender, std::string_view piece) override {
        EXPECT_FALSE(piece.empty());
        EXPECT_TRUE(sender.InBody());
        EXPECT_EQ(events.back(), "head") << "no event between body pieces";
        outcome.body += piece;
    }
    void AnswerEnded(AnswerParser&, bool inBody) override {
        outcome.events.push_back(inBody ? "end body" : "end head");
    }

    Outcome outcome;
    const Events& events = outcome.events;
    std::function<void(AnswerParser&)> onHead;

  private:
    void Note(const std::string& event) {
        EXPECT_TRUE(outcome.body.empty()) << "nothing of the head after the body";
        outcome.events.push_back(event);
    }
    static std::string FormatNumber(double number) {
        std::string text = std::to_string(number);
        text.erase(text.find_last_not_of('0') + 1);
        if (text.ends_with('.')) text.pop_back();
        return text;
    }
};

struct Row {
    std::string label{};
    std::string input{};
    Events events{};
    std::string body{};
};

// Feeds `pieces` to a new parser, then ends the answer; what arrives after the end is
// ignored.
Outcome Feed(const std::vector<std::string_view>& pieces) {
    AnswerParser parser;
    Recorder recorder;
    parser.SetEvents(&recorder);
    for (const std::string_view piece : pieces) parser.Take(piece);
    parser.End();
    EXPECT_EQ(parser.BufferedBytes(), 0u);
    parser.Take("HTTP/1.0 200 OK\r\n\r\nlate");
    parser.End();
    return recorder.outcome;
}

std::vector<std::string_view> ByteByByte(std::string_view input) {
    std::vector<std::string_view> bytes;
    for (std::size_t i = 0; i < input.size(); ++i) {
        bytes.push_back(input.substr(i, 1));
        bytes.emplace_back();
    }
    return bytes;
}

// A long row repeats one line up to a limit: it is cut at every position of its end,
// where the limit is reached, not throughout.
constexpr std::size_t kEveryCutUpTo = 1024;
constexpr std::size_t kCutsAtTheEnd = 16;

void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Outcome expected{row.events, row.body};
        const std::string_view input = row.input;
        EXPECT_EQ(Feed({input}), expected) << "whole";
        EXPECT_EQ(Feed(ByteByByte(input)), expected) << "byte by byte";
        const std::size_t n = input.size();
        const std::size_t firstCut = n > kEveryCutUpTo ? n - kCutsAtTheEnd : 0;
        for (std::size_t cut = firstCut; cut <= n; ++cut) {
            const Outcome got = Feed({input.substr(0, cut), input.substr(cut)});
            if (got != expected) {
                ADD_FAILURE() << "cut after byte " << cut << "\n  got: " << got
                              << "\n  expected: " << expected;
                break;  // one report per row
            }
        }
    }
}

// clang-format off
TEST(AnswerParserTable, StatusLines) {
    Check({
        {"a status line, a header and a body",
         "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nSet-Cookie: a=b; path=/\r\n\r\nbody\r\n",
         {"status HTTP/1.0|200|OK", "header Content-Type: text/plain",
          "header Set-Cookie: a=b; path=/", "head", "end body"}, "body\r\n"},
        {"the message after the second space", "HTTP/1.0 404 Not Found\n\n",
         {"status HTTP/1.0|404|Not Found", "head", "end body"}},
        {"an empty message", "HTTP/1.0 200 \n", {"status HTTP/1.0|200|", "end head"}},
        {"the number as Val reads it", "X 2x0 a  b \n", {"status X|2|a  b ", "end head"}},
        {"an empty version", " 200 OK\n", {"status |200|OK", "end head"}},
        {"a number that is no number", "HTTP/1.0 abc OK\n", {"status HTTP/1.0|0|OK", "end head"}},
        {"one space is no status line", "HTTP/1.0 200\n", {"end head"}},
        {"no space is no status line", "HTTP/1.0\n", {"end head"}},
        {"an empty line is no status line", "\n", {"end head"}},
        {"a line without its line feed is never read", "HTTP/1.0 200 OK", {"end head"}},
        {"lines before the status line are skipped",
         "garbage\nHTTP/1.0 200 OK\nX:Y\nName: v\n   \nbody",
         {"status HTTP/1.0|200|OK", "header Name: v", "head", "end body"}, "body"},
    });
}

TEST(AnswerParserTable, LineEndsAndBody) {
    Check({
        {"line feeds alone end lines",
         "HTTP/1.0 404 Not Found\nA: 1\r\nB: 2\n\nline1\r\nline2\n",
         {"status HTTP/1.0|404|Not Found", "header A: 1", "header B: 2", "head", "end body"},
         "line1\r\nline2\n"},
        {"carriage returns are dropped from the head, kept in the body",
         "HTTP/1.0 201 Cre\rated\nX-A: v\ra\rl\n\r\n\r\r\nrest",
         {"status HTTP/1.0|201|Created", "header X-A: val", "head", "end body"}, "\r\r\nrest"},
        {"the body is every byte after the empty line",
         std::string("HTTP/1.0 200 OK\r\n\r\nHTTP/1.0 500 X\r\nA: b\r\n\r\n\0\xff", 45),
         {"status HTTP/1.0|200|OK", "head", "end body"},
         std::string("HTTP/1.0 500 X\r\nA: b\r\n\r\n\0\xff", 26)},
        {"an answer cut in its head", "HTTP/1.0 200 OK\r\nA: 1\r\nB:",
         {"status HTTP/1.0|200|OK", "header A: 1", "end head"}},
        {"an empty body", "HTTP/1.0 200 OK\r\n\r\n", {"status HTTP/1.0|200|OK", "head", "end body"}},
        {"nothing at all", "", {"end head"}},
    });
}
// clang-format on

TEST(AnswerParserTable, HeadersBeyondAListAreSkippedButTheBodyKept) {
    Row row{"more headers than a list holds", "HTTP/1.0 200 OK\r\n", {"status HTTP/1.0|200|OK"}};
    for (int i = 0; i < WebClient_Header::kMaxHeaders + 3; ++i) row.input += "H: v\r\n";
    row.input += "\r\nend";
    row.events.insert(row.events.end(), WebClient_Header::kMaxHeaders, "header H: v");
    row.events.insert(row.events.end(), {"head", "end body"});
    row.body = "end";
    Check({row});
}

// The owner may start over from inside an event (a new request); the rest of that
// arrival belongs to the answer it gave up.
TEST(AnswerParser, AResetInsideAnEventDropsTheRestOfTheArrival) {
    AnswerParser parser;
    Recorder recorder;
    parser.SetEvents(&recorder);
    recorder.onHead = [](AnswerParser& sender) { sender.Reset(); };
    parser.Take("HTTP/1.0 200 OK\r\n\r\nstale body");
    EXPECT_EQ(recorder.events, (Events{"status HTTP/1.0|200|OK", "head"}));
    EXPECT_EQ(recorder.outcome.body, "");
    EXPECT_FALSE(parser.InBody());
    EXPECT_EQ(parser.BufferedBytes(), 0u);

    recorder.onHead = nullptr;
    parser.Take("HTTP/1.0 404 No\r\n\r\nnew");
    EXPECT_EQ(recorder.events.back(), "head");
    EXPECT_EQ(recorder.outcome.body, "new");
}

}  // namespace
}  // namespace pelorin
