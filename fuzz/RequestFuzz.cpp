// The server's request parser fed one input in three cuts: whole, in pieces the input
// chooses, and byte by byte. Every cut must give the same events with the same request
// at each of them, and the request must keep to its limits: the body cut to its length
// (for a chunked body, the sizes read), nothing kept for a peer that is not served, no
// line buffered beyond the line limit.
//
// Flags: 1 = the peer is served (headers and body kept); 2 = a line limit of 64 bytes
// instead of 32,767, so refusals of long lines are reached with short inputs; 4 = the body
// streamed to the owner (as the store takes it) instead of kept.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "server/http/RequestParser.h"

namespace pelorin::fuzz {
namespace {

constexpr std::size_t kShortLineLimit = 64;

// A streamed body shows where a kept one would.
std::string Describe(const ClientRequest& request, const std::string& streamed) {
    std::string text =
        request.ClientCommand + "|" + request.ClientPage + "|" + request.ClientHTTPVersion + "|" +
        std::to_string(request.ClientContentLength) + "|" + request.ClientPostData + streamed;
    if (request.ClientHeaders) {
        for (std::int32_t i = 1; i <= request.ClientHeaders->Anzahl; ++i) {
            const auto header = request.ClientHeaders->GetHeader(i);
            text += "|" + header->TheName + ": " + header->TheValue;
        }
    }
    return text;
}

// Writes down each event with what it reports; the whole request is compared at the end.
class Recorder : public RequestParserEvents {
  public:
    explicit Recorder(const ClientRequest& request) : request_(request) {}

    void RequestLineRead(RequestParser&) override {
        Note("line " + request_.ClientCommand + "|" + request_.ClientPage + "|" +
             request_.ClientHTTPVersion);
    }
    void HeaderAdded(RequestParser&, const std::shared_ptr<OneHeader>& header) override {
        Require(request_.ClientHeaders && request_.ClientHeaders->GetLastHeader() == header,
                "the header raised is the list's last");
        Note("header " + header->TheName + ": " + header->TheValue + " after length " +
             std::to_string(request_.ClientContentLength));
    }
    void BodyArrived(RequestParser&, std::string_view piece) override {
        Require(!ended, "no body after the end of a request");
        Require(!piece.empty(), "no empty body piece");
        streamed.append(piece);
    }
    void RequestComplete(RequestParser&) override {
        End("complete " + Describe(request_, streamed));
    }
    void RequestRefused(RequestParser&, int number) override {
        End("refused " + std::to_string(number) + " " + Describe(request_, streamed));
    }
    void CodingNotImplemented(RequestParser&) override {
        End("coding not implemented " + Describe(request_, streamed));
    }

    std::vector<std::string> events;
    std::string streamed;
    bool ended = false;

  private:
    void Note(const std::string& name) {
        Require(!ended, "nothing follows the end of a request");
        events.push_back(name);
    }
    void End(const std::string& name) {
        Note(name);
        ended = true;
    }

    const ClientRequest& request_;
};

struct Outcome {
    std::vector<std::string> events;
    std::string request;
    bool finished = false;
    std::size_t buffered = 0;
};

Outcome Run(const std::vector<std::string_view>& pieces, bool served, std::size_t lineLimit,
            bool stream, std::size_t payloadSize) {
    ClientRequest request;
    RequestParser parser(request, lineLimit);
    Recorder recorder(request);
    parser.SetEvents(&recorder);
    parser.Reset(served);
    parser.StreamBody(stream);
    for (const std::string_view piece : pieces) {
        parser.Take(piece);
        Require(parser.BufferedBytes() < lineLimit, "no line waits beyond the line limit");
        Require(parser.BufferedBytes() <= payloadSize, "nothing buffered that did not arrive");
    }
    const std::size_t eventsBefore = recorder.events.size();
    if (parser.Finished()) {
        parser.Take("GET /more HTTP/1.0\r\nX: y\r\n\r\n");
        Require(recorder.events.size() == eventsBefore, "data after the request is ignored");
    }

    const std::size_t body = request.ClientPostData.size() + recorder.streamed.size();
    Require(request.ClientContentLength >= 0, "a length is never negative");
    Require(body <= static_cast<std::size_t>(request.ClientContentLength),
            "the body is cut to its length");
    Require(!stream || request.ClientPostData.empty(), "a streamed body is not kept");
    if (!served) {
        Require(!request.ClientHeaders && body == 0,
                "nothing is kept for a peer that is not served");
    }
    Require(parser.Finished() == recorder.ended, "finished exactly when the request ended");
    if (!recorder.events.empty() && recorder.events.back().starts_with("complete") && served) {
        Require(body == static_cast<std::size_t>(request.ClientContentLength),
                "a complete request holds its whole body");
    }
    return {recorder.events, Describe(request, recorder.streamed), parser.Finished(),
            parser.BufferedBytes()};
}

void Compare(const Outcome& a, const Outcome& b) {
    Require(a.events == b.events, "the same events whatever the cut");
    Require(a.request == b.request, "the same request whatever the cut");
    Require(a.finished == b.finished, "finished whatever the cut");
    Require(a.buffered == b.buffered, "the same bytes waiting whatever the cut");
}

}  // namespace
}  // namespace pelorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pelorin;
    using namespace pelorin::fuzz;
    const CutInput input = ReadCutInput(data, size);
    const bool served = (input.flags & 1u) != 0;
    const std::size_t lineLimit = (input.flags & 2u) != 0 ? kShortLineLimit : kMaxRequestLineEnd;
    const bool stream = (input.flags & 4u) != 0;
    const std::size_t n = input.payload.size();
    const Outcome whole = Run({input.payload}, served, lineLimit, stream, n);
    Compare(whole, Run(Pieces(input.payload, input.lengths), served, lineLimit, stream, n));
    Compare(whole, Run(SingleBytes(input.payload), served, lineLimit, stream, n));
    return 0;
}
