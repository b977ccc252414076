// The request parser from tables: each row is the bytes of one arrival stream and the
// events and request they must give. Every row is fed whole, byte by byte (with an empty
// arrival after each byte), and cut into two pieces at every position, and each way must
// give exactly the row's outcome: how TCP cuts a request never shows. Tables of bodies run
// once with the body kept and once with it streamed to the owner.
#include "server/http/RequestParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {
namespace {

using Events = std::vector<std::string>;

// What the parser filled in; headers as "name: value".
struct Request {
    std::string command{}, page{}, version{};
    std::vector<std::string> headers{};
    std::int32_t length = 0;
    std::string body{};
    bool operator==(const Request&) const = default;
};

struct Outcome {
    Events events{};  // "line", "header <name>", "complete", "refused <number>"
    Request request{};
    bool operator==(const Outcome&) const = default;
};

// Text in brackets, line ends written out.
std::string Shown(std::string_view text) {
    std::string shown = "[";
    for (const char c : text) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return shown + "]";
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    out << "events:";
    for (const auto& e : o.events) out << " " << Shown(e);
    const Request& r = o.request;
    out << "\n  request: " << Shown(r.command) << " " << Shown(r.page) << " " << Shown(r.version)
        << " length " << r.length << " body " << Shown(r.body);
    for (const auto& h : r.headers) out << "\n    " << Shown(h);
    return out;
}

struct Row {
    std::string label{};
    std::string input{};
    Events events{};
    Request request{};
};

// How the parser is set up for a table.
struct Setting {
    bool served = true;  // false: the peer is not served, nothing is kept
    std::size_t lineLimit = kMaxRequestLineEnd;
    bool stream = false;  // the body handed to BodyArrived (and shown as the body)
};

class Recorder : public RequestParserEvents {
  public:
    void RequestLineRead(RequestParser& sender) override {
        events.emplace_back("line");
        if (onLine) onLine(sender);
    }
    void HeaderAdded(RequestParser&, const std::shared_ptr<OneHeader>& header) override {
        events.push_back("header " + header->TheName);
    }
    void BodyArrived(RequestParser& sender, std::string_view piece) override {
        streamed.append(piece);
        if (onBody) onBody(sender);
    }
    void RequestComplete(RequestParser&) override { events.emplace_back("complete"); }
    void RequestRefused(RequestParser&, int number) override {
        events.push_back("refused " + std::to_string(number));
    }
    void CodingNotImplemented(RequestParser&) override { events.emplace_back("refused coding"); }

    Events events;
    std::string streamed;
    std::function<void(RequestParser&)> onLine, onBody;
};

// A streamed body shows as the body: it must never be kept as well.
Request Taken(const ClientRequest& r, const std::string& streamed) {
    Request out{r.ClientCommand,       r.ClientPage,
                r.ClientHTTPVersion,   {},
                r.ClientContentLength, r.ClientPostData + streamed};
    for (std::int32_t i = 1; r.ClientHeaders && i <= r.ClientHeaders->Anzahl; ++i) {
        const auto header = r.ClientHeaders->GetHeader(i);
        out.headers.push_back(header->TheName + ": " + header->TheValue);
    }
    return out;
}

bool Ended(const Events& events) {
    return !events.empty() && (events.back() == "complete" || events.back().starts_with("refused"));
}

// Feeds `pieces` to a new parser and checks what must hold whatever the input: no line
// waits beyond the limit, and the parser is finished exactly when the request ended and
// then holds nothing. Once finished it is fed another request, which must change nothing.
Outcome Feed(const std::vector<std::string_view>& pieces, const Setting& setting) {
    ClientRequest request;
    RequestParser parser(request, setting.lineLimit);
    Recorder recorder;
    parser.SetEvents(&recorder);
    parser.Reset(setting.served);
    parser.StreamBody(setting.stream);
    for (const std::string_view piece : pieces) {
        parser.Take(piece);
        EXPECT_LT(parser.BufferedBytes(), setting.lineLimit);
    }
    EXPECT_EQ(parser.Finished(), Ended(recorder.events));
    if (parser.Finished()) {
        EXPECT_EQ(parser.BufferedBytes(), 0u);
        parser.Take("GET /more HTTP/1.0\r\nX: y\r\nContent-Length: 1\r\n\r\nz");
    }
    return {recorder.events, Taken(request, recorder.streamed)};
}

// Each byte as an arrival of its own, with an empty arrival after it.
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
constexpr std::size_t kCutsAtTheEnd = 8;

void Check(const std::vector<Row>& rows, const Setting& setting = {}) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Outcome expected{row.events, row.request};
        const std::string_view input = row.input;
        EXPECT_EQ(Feed({input}, setting), expected) << "whole";

        EXPECT_EQ(Feed(ByteByByte(input), setting), expected) << "byte by byte";

        const std::size_t n = input.size();
        const std::size_t firstCut = n > kEveryCutUpTo ? n - kCutsAtTheEnd : 0;
        for (std::size_t cut = firstCut; cut <= n; ++cut) {
            const Outcome got = Feed({input.substr(0, cut), input.substr(cut)}, setting);
            if (got != expected) {
                ADD_FAILURE() << "cut after byte " << cut << "\n  got: " << got
                              << "\n  expected: " << expected;
                break;  // one report per row
            }
        }
    }
}

// clang-format off
TEST(RequestParserTable, RequestLines) {
    Check({
        {"a request line and an empty line complete at once", "GET /a HTTP/1.0\r\n\r\n",
         {"line", "complete"}, {"GET", "/a", "HTTP/1.0"}},
        {"a line without space sets nothing", "GET\r\n\r\n", {"line", "complete"}, {}},
        {"a line with one space sets only the command", "GET /a\r\n\r\n",
         {"line", "complete"}, {"GET"}},
        {"a target that holds a space is cut there", "GET /a b HTTP/1.0\r\n\r\n",
         {"line", "complete"}, {"GET", "/a", "b HTTP/1.0"}},
        {"a leading space leaves the command empty", " /a HTTP/1.0\r\n\r\n",
         {"line", "complete"}, {"", "/a", "HTTP/1.0"}},
        {"an empty request line", "\r\n\r\n", {"line", "complete"}, {}},
    });
}

TEST(RequestParserTable, LineEnds) {
    Check({
        {"line feeds alone end no line", "GET /a HTTP/1.0\n\n", {}, {}},
        {"line feeds are dropped from lines", "GET /a HTTP/1.0\n\nX\r\nB: 1\n2\r\n\r\n",
         {"line", "header B", "complete"}, {"GET", "/a", "HTTP/1.0X", {"B: 12"}}},
        {"a carriage return alone ends a line", "GET /a V\rA: 1\r\rrest",
         {"line", "header A", "complete"}, {"GET", "/a", "V", {"A: 1"}}},
        {"the line feed of the empty line stays out of the body",
         "SET /a HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc",
         {"line", "complete"}, {"SET", "/a", "HTTP/1.0", {}, 3, "abc"}},
        {"a body that starts with a line feed keeps it",
         "SET /a HTTP/1.0\r\nContent-Length: 2\r\n\r\n\nx",
         {"line", "complete"}, {"SET", "/a", "HTTP/1.0", {}, 2, "\nx"}},
    });
}

TEST(RequestParserTable, HeadersAndBody) {
    Check({
        {"values lose the blanks around them; Content-Length is not kept",
         "SET /a HTTP/1.0\r\ncontent-LENGTH: 2\r\nNo-Space:x\r\nTwo: a: b\r\n"
         "Pad: \t v \t\r\nEmpty:\r\nNo colon\r\n   \r\nbody",
         {"line", "header No-Space", "header Two", "header Pad", "header Empty", "complete"},
         {"SET", "/a", "HTTP/1.0", {"No-Space: x", "Two: a: b", "Pad: v", "Empty: "}, 2, "bo"}},
        {"a length without a space or with tabs and spaces around it",
         "SET /a HTTP/1.0\r\nContent-Length:5\r\n\r\nhello",
         {"line", "complete"}, {"SET", "/a", "HTTP/1.0", {}, 5, "hello"}},
        {"a length between tabs", "SET /a HTTP/1.0\r\nContent-Length:\t5 \t\r\n\r\nhello",
         {"line", "complete"}, {"SET", "/a", "HTTP/1.0", {}, 5, "hello"}},
        {"two lengths that agree", "SET /a V\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nab",
         {"line", "complete"}, {"SET", "/a", "V", {}, 2, "ab"}},
        {"a header and a body cut to its length",
         "SET /a HTTP/1.0\r\nX-A: 1\r\nContent-Length: 2\r\n\r\nxyz",
         {"line", "header X-A", "complete"}, {"SET", "/a", "HTTP/1.0", {"X-A: 1"}, 2, "xy"}},
        {"a short body waits", "SET /a HTTP/1.0\r\nContent-Length: 3\r\n\r\nab",
         {"line"}, {"SET", "/a", "HTTP/1.0", {}, 3, "ab"}},
        {"bytes beyond the length are dropped",
         "SET /a HTTP/1.0\r\nContent-Length: 3\r\n\r\nabcdef",
         {"line", "complete"}, {"SET", "/a", "HTTP/1.0", {}, 3, "abc"}},
        {"the largest 32-bit length is waited for",
         "SET /a HTTP/1.0\r\nContent-Length: 2147483647\r\n\r\nabc",
         {"line"}, {"SET", "/a", "HTTP/1.0", {}, 2147483647, "abc"}},
        {"a second request after the first is ignored",
         "GET /a HTTP/1.0\r\n\r\nGET /b HTTP/1.0\r\nX: 1\r\n\r\n",
         {"line", "complete"}, {"GET", "/a", "HTTP/1.0"}},
    });
}

Row TooManyHeaders() {
    Row row{"more headers than a list holds", "GET /a HTTP/1.0\r\n", {"line"},
            {"GET", "/a", "HTTP/1.0"}};
    for (int i = 0; i <= WebClient_Header::kMaxHeaders; ++i) row.input += "A: b\r\n";
    row.input += "\r\n";
    row.events.insert(row.events.end(), WebClient_Header::kMaxHeaders, "header A");
    row.events.emplace_back("refused 9");
    row.request.headers.assign(WebClient_Header::kMaxHeaders, "A: b");
    return row;
}

TEST(RequestParserTable, Refusals) {
    Check({
        {"a negative Content-Length", "SET /a HTTP/1.0\r\nContent-Length: -1\r\n\r\n",
         {"line", "refused 5"}, {"SET", "/a", "HTTP/1.0"}},
        {"a Content-Length just beyond 32 bits",
         "SET /a HTTP/1.0\r\nContent-Length: 2147483648\r\n\r\nx",
         {"line", "refused 6"}, {"SET", "/a", "HTTP/1.0"}},
        {"a Content-Length far beyond 32 bits",
         "SET /a HTTP/1.0\r\nContent-Length: 99999999999999999999\r\n\r\n",
         {"line", "refused 6"}, {"SET", "/a", "HTTP/1.0"}},
        {"a length that is a word", "SET /a V\r\nContent-Length: abc\r\n\r\nhello",
         {"line", "refused 13"}, {"SET", "/a", "V"}},
        {"an empty length", "SET /a V\r\nContent-Length:\r\n\r\n",
         {"line", "refused 13"}, {"SET", "/a", "V"}},
        {"a length with an exponent", "SET /a V\r\nContent-Length: 0.4e1\r\n\r\nhello",
         {"line", "refused 13"}, {"SET", "/a", "V"}},
        {"a length with a fraction", "SET /a V\r\nContent-Length: 4.5\r\n\r\nhello",
         {"line", "refused 13"}, {"SET", "/a", "V"}},
        {"two numbers in one length", "SET /a V\r\nContent-Length: 5 5\r\n\r\nhello",
         {"line", "refused 13"}, {"SET", "/a", "V"}},
        {"a sign before the digits", "SET /a V\r\nContent-Length: +5\r\n\r\nhello",
         {"line", "refused 13"}, {"SET", "/a", "V"}},
        {"two lengths that disagree",
         "SET /a V\r\nContent-Length: 5\r\nContent-Length: 3\r\n\r\nhello",
         {"line", "refused 5"}, {"SET", "/a", "V", {}, 5}},
        {"a blank before a header's colon", "SET /a V\r\nX: 1\r\nContent-Length : 5\r\n\r\n",
         {"line", "header X", "refused 5"}, {"SET", "/a", "V", {"X: 1"}}},
        {"a tab before a header's colon", "SET /a V\r\nX\t: 1\r\n\r\n",
         {"line", "refused 5"}, {"SET", "/a", "V"}},
        {"a coding beside a length",
         "SET /a V\r\nContent-Length: 5\r\ntransfer-encoding: gzip\r\n\r\nhello",
         {"line", "refused coding"}, {"SET", "/a", "V", {}, 5}},
        TooManyHeaders(),
    });
}

// A chunked body: the request line, the coding and the empty line before `chunks`.
std::string Chunked(std::string_view chunks) {
    return "SET /a V\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(chunks);
}

// The request a chunked row leaves: the sizes read so far and the data.
Request ChunkedRequest(std::int32_t length, std::string body = {}) {
    return {"SET", "/a", "V", {}, length, std::move(body)};
}

TEST(RequestParserTable, ChunkedBodies) {
    const std::vector<Row> rows{
        {"one chunk and the last", Chunked("5\r\nhello\r\n0\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(5, "hello")},
        {"sizes in hex in either case, leading zeros",
         Chunked("a\r\n0123456789\r\n00B\r\nabcdefghijk\r\n0\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(21, "0123456789abcdefghijk")},
        {"extensions ignored, blanks before them",
         Chunked("5;name=value\r\nhello\r\n3 \t; x=\"a b\"\r\nabc\r\n0;last\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(8, "helloabc")},
        {"data that looks like framing is data", Chunked("6\r\n\r\n0\r\n\r\r\n0\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(6, "\r\n0\r\n\r")},
        {"only the last chunk: an empty body", Chunked("0\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(0)},
        {"trailer fields are dropped", Chunked("3\r\nabc\r\n0\r\nX-Sum: 1\r\nB:\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(3, "abc")},
        {"bytes after the end are ignored", Chunked("1\r\na\r\n0\r\n\r\nGET /b V\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(1, "a")},
        {"the rest of a chunk is waited for", Chunked("5\r\nhel"), {"line"},
         ChunkedRequest(5, "hel")},
        {"the end is waited for", Chunked("1\r\na\r\n0\r\nX: 1\r\n\r"), {"line"},
         ChunkedRequest(1, "a")},
        {"sizes that make the largest 32-bit length", Chunked("1\r\na\r\n7ffffffe\r\nbc"),
         {"line"}, ChunkedRequest(2147483647, "abc")},
        {"the coding in any case, between blanks, beside other headers",
         "SET /a V\r\nX: 1\r\ntransfer-ENCODING: \tChunKed \r\nY: 2\r\n\r\n2\r\nab\r\n0\r\n\r\n",
         {"line", "header X", "header Y", "complete"},
         {"SET", "/a", "V", {"X: 1", "Y: 2"}, 2, "ab"}},
    };
    Check(rows);
    Check(rows, {.stream = true});
}

TEST(RequestParserTable, ChunkedRefusals) {
    const std::vector<Row> rows{
        {"a length before the coding",
         "SET /a V\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
         {"line", "refused 5"}, ChunkedRequest(5)},
        {"a length after the coding",
         "SET /a V\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n5\r\nhello\r\n",
         {"line", "refused 5"}, ChunkedRequest(0)},
        {"a coding listed with chunked",
         "SET /a V\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", {"line", "refused coding"},
         ChunkedRequest(0)},
        {"chunked twice", "SET /a V\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n",
         {"line", "refused coding"}, ChunkedRequest(0)},
        {"identity", "SET /a V\r\nTransfer-Encoding: identity\r\n", {"line", "refused coding"},
         ChunkedRequest(0)},
        {"an empty size line", Chunked("\r\n"), {"line", "refused 13"}, ChunkedRequest(0)},
        {"extensions without size", Chunked(";x\r\n"), {"line", "refused 13"},
         ChunkedRequest(0)},
        {"a letter after the digits", Chunked("5x\r\nhello"), {"line", "refused 13"},
         ChunkedRequest(0)},
        {"a size written as C writes it", Chunked("0x5\r\nhello"), {"line", "refused 13"},
         ChunkedRequest(0)},
        {"a sign", Chunked("+5\r\nhello"), {"line", "refused 13"}, ChunkedRequest(0)},
        {"a blank before the size", Chunked(" 5\r\nhello"), {"line", "refused 13"},
         ChunkedRequest(0)},
        {"a blank after the size without extension", Chunked("5 \r\nhello"),
         {"line", "refused 13"}, ChunkedRequest(0)},
        {"a size beyond 32 bits", Chunked("80000000\r\n"), {"line", "refused 6"},
         ChunkedRequest(0)},
        {"sizes whose sum is beyond 32 bits", Chunked("1\r\na\r\n7fffffff\r\n"),
         {"line", "refused 6"}, ChunkedRequest(1, "a")},
        {"line feeds alone", Chunked("5\nhello\n0\n\n"), {"line", "refused 5"},
         ChunkedRequest(0)},
        {"a line feed alone as the size line", Chunked("\n"), {"line", "refused 5"},
         ChunkedRequest(0)},
        {"a line feed alone after an extension", Chunked("5;x\nhello"), {"line", "refused 5"},
         ChunkedRequest(0)},
        {"a carriage return alone after the size", Chunked("5\rhello"), {"line", "refused 5"},
         ChunkedRequest(0)},
        {"data longer than its size", Chunked("3\r\nhello\r\n0\r\n\r\n"),
         {"line", "refused 5"}, ChunkedRequest(3, "hel")},
        {"a line feed alone after the data", Chunked("3\r\nabc\n0\r\n\r\n"),
         {"line", "refused 5"}, ChunkedRequest(3, "abc")},
        {"a carriage return alone after the data", Chunked("3\r\nabc\r0\r\n\r\n"),
         {"line", "refused 5"}, ChunkedRequest(3, "abc")},
        {"a line feed alone after a trailer", Chunked("0\r\nX: 1\n\r\n"), {"line", "refused 5"},
         ChunkedRequest(0)},
        {"a line feed alone at the end", Chunked("0\r\n\n"), {"line", "refused 5"},
         ChunkedRequest(0)},
        {"a carriage return alone at the end", Chunked("0\r\n\rx"), {"line", "refused 5"},
         ChunkedRequest(0)},
    };
    Check(rows);
    Check(rows, {.stream = true});
}

// Lines of the framing have the limit of header lines: here a carriage return within a
// line's first 32 bytes (room for the coding's header line).
TEST(RequestParserTable, ChunkedLineLimit) {
    const std::string ext(29, 'e');  // "5;" + ext: 31 bytes
    const std::string trailer(31, 't');
    Check({
        {"a size line of 31 bytes", Chunked("5;" + ext + "\r\nhello\r\n0\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(5, "hello")},
        {"a size line of 32 bytes", Chunked("5;" + ext + "e\r\nhello\r\n0\r\n\r\n"),
         {"line", "refused 6"}, ChunkedRequest(0)},
        {"a size of 32 zeros", Chunked(std::string(32, '0')), {"line", "refused 6"},
         ChunkedRequest(0)},
        {"a trailer line of 31 bytes", Chunked("0\r\n" + trailer + "\r\n\r\n"),
         {"line", "complete"}, ChunkedRequest(0)},
        {"a trailer line of 32 bytes", Chunked("0\r\n" + trailer + "t\r\n\r\n"),
         {"line", "refused 6"}, ChunkedRequest(0)},
    }, {.lineLimit = 32});
}

// The limit is a parameter of the parser: a short one shows its edges with short rows.
// A line's carriage return must stand within the line's first 16 bytes.
TEST(RequestParserTable, LineLimit) {
    Check({
        {"lines of 15 bytes are taken", "GET /pppppppp V\r\nH: vvvvvvvvvvvv\r\n\r\n",
         {"line", "header H", "complete"}, {"GET", "/pppppppp", "V", {"H: vvvvvvvvvvvv"}}},
        {"the limit counts from each line's start",
         "GET / V\r\nA: 1234567890\r\nB: 1234567890\r\nC: 1234567890\r\n\r\n",
         {"line", "header A", "header B", "header C", "complete"},
         {"GET", "/", "V", {"A: 1234567890", "B: 1234567890", "C: 1234567890"}}},
        {"15 bytes without carriage return wait", std::string(15, 'a'), {}, {}},
        {"16 bytes without carriage return are refused", std::string(16, 'a'), {"refused 6"}, {}},
        {"a line of 16 bytes is refused though its carriage return comes",
         "GET /a V\r\nH: vvvvvvvvvvvvv\r\n\r\n", {"line", "refused 6"}, {"GET", "/a", "V"}},
        {"line feeds count towards the limit", std::string(20, '\n'), {"refused 6"}, {}},
    }, {.lineLimit = 16});
}

// A peer that is not served only ever gets 403: its request is complete at the end of its
// headers, with nothing kept, and a length it cannot have is refused all the same.
TEST(RequestParserTable, PeerNotServed) {
    Check({
        {"complete at its headers", "SET /a V\r\nX: 1\r\nContent-Length: 5\r\n\r\nab",
         {"line", "complete"}, {"SET", "/a", "V", {}, 5, ""}},
        {"a negative length is refused", "SET /a V\r\nContent-Length: -1\r\n\r\n",
         {"line", "refused 5"}, {"SET", "/a", "V"}},
        {"a chunked body is not read",
         "SET /a V\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n5\r\nhello\r\n",
         {"line", "complete"}, {"SET", "/a", "V", {}, 5, ""}},
    }, {.served = false});
}
// clang-format on

// The limit the connection uses: line positions are 16-bit. Rows this long are fed whole,
// byte by byte (each line is searched once, not once per byte), and cut at the limit
// only; the table shows the limit's edges whatever the cut.
TEST(RequestParserLimit, IsThatOf16BitLinePositions) {
    const std::string page(32766 - 6, 'p');  // "GET " + page + " V": 32,766 bytes
    const std::string value(32763, 'v');     // "H: " + value: 32,766 bytes
    const Row taken{"",
                    "GET " + page + " V\r\nH: " + value + "\r\n\r\n",
                    {"line", "header H", "complete"},
                    {"GET", page, "V", {"H: " + value}}};
    const Row refused{"", std::string(32767, 'a'), {"refused 6"}, {}};
    for (const Row& row : {taken, refused}) {
        const Outcome expected{row.events, row.request};
        const std::string_view input = row.input;
        EXPECT_EQ(Feed({input}, {}), expected);
        EXPECT_EQ(Feed(ByteByByte(input), {}), expected) << "byte by byte";
        for (const std::size_t cut : {32766u, 32767u}) {
            EXPECT_EQ(Feed({input.substr(0, cut), input.substr(cut)}, {}), expected) << cut;
        }
    }
}

// The owner may start over from inside an event; the rest of that arrival belongs to the
// request it gave up.
TEST(RequestParser, AResetInsideAnEventDropsTheRestOfTheArrival) {
    ClientRequest request;
    RequestParser parser(request);
    Recorder recorder;
    parser.SetEvents(&recorder);
    parser.Reset(true);
    recorder.onLine = [](RequestParser& sender) { sender.Reset(true); };
    parser.Take("GET /a V\r\nX: 1\r\n\r\n");
    EXPECT_EQ(recorder.events, (Events{"line"}));
    EXPECT_EQ(request.ClientPage, "");
    EXPECT_FALSE(parser.Finished());
    EXPECT_EQ(parser.BufferedBytes(), 0u);

    recorder.onLine = nullptr;
    parser.Take("GET /b V\r\n\r\n");
    EXPECT_EQ(recorder.events, (Events{"line", "line", "complete"}));
    EXPECT_EQ(request.ClientPage, "/b");
}

// The data of a chunked arrival goes to the owner as one piece, before the end it leads
// to; an owner that starts over on it hears nothing more of that request.
TEST(RequestParser, ChunkedDataOfAnArrivalIsOnePieceBeforeTheEnd) {
    ClientRequest request;
    RequestParser parser(request);
    Recorder recorder;
    parser.SetEvents(&recorder);
    parser.Reset(true);
    parser.StreamBody(true);
    int pieces = 0;
    recorder.onBody = [&](RequestParser&) { ++pieces; };
    parser.Take(Chunked("1\r\na\r\n2\r\nbc\r\n0\r\n\r\n"));
    EXPECT_EQ(recorder.events, (Events{"line", "complete"}));
    EXPECT_EQ(recorder.streamed, "abc");
    EXPECT_EQ(pieces, 1);

    parser.Reset(true);
    recorder.events.clear();
    recorder.streamed.clear();
    recorder.onBody = [](RequestParser& sender) { sender.Reset(true); };
    parser.Take(Chunked("1\r\na\r\n2\r\nbc\r\n0\r\n\r\n"));
    EXPECT_EQ(recorder.events, (Events{"line"}));
    EXPECT_EQ(recorder.streamed, "abc");
    EXPECT_FALSE(parser.Finished());
    EXPECT_EQ(parser.BufferedBytes(), 0u);
}

}  // namespace
}  // namespace pelorin
