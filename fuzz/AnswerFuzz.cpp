// The web client's answer parser fed one input in three cuts: whole, in pieces the input
// chooses, and byte by byte. Every cut must give the same events in the same order, and
// the same body; the body is exactly the bytes after the headers' empty line, passed on
// unchanged.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "net/AnswerParser.h"
#include "net/WebClient_Header.h"

namespace pelorin::fuzz {
namespace {

// Writes down each event with what it reports; body pieces are only gathered, as their
// cut follows the arrivals.
class Recorder : public AnswerParserEvents {
  public:
    void StatusLineRead(AnswerParser&, const std::string& version, double number,
                        const std::string& message) override {
        Note("status " + version + "|" + std::to_string(number) + "|" + message);
    }
    void HeaderRead(AnswerParser&, const std::string& name, const std::string& value) override {
        ++headers;
        Note("header " + name + ": " + value);
    }
    void HeadEnded(AnswerParser& sender) override {
        Note("body");
        Require(sender.InBody(), "in the body after the head");
        started = true;
    }
    void BodyArrived(AnswerParser&, std::string_view piece) override {
        Require(started, "no body before the headers' end");
        Require(!piece.empty(), "no empty piece");
        body += piece;
    }
    void AnswerEnded(AnswerParser&, bool inBody) override {
        Require(inBody == started, "the end knows where the answer stood");
        events.emplace_back("end");
    }

    std::vector<std::string> events;
    std::string body;
    bool started = false;
    int headers = 0;

  private:
    void Note(const std::string& name) {
        Require(!started, "no status or header in the body");
        events.push_back(name);
    }
};

struct Outcome {
    std::vector<std::string> events;
    std::string body;
};

Outcome Run(const std::vector<std::string_view>& pieces, std::string_view payload) {
    AnswerParser parser;
    Recorder recorder;
    parser.SetEvents(&recorder);
    for (const std::string_view piece : pieces) parser.Take(piece);
    parser.End();
    Require(parser.BufferedBytes() == 0, "the end drops what waits");
    Require(recorder.headers <= WebClient_Header::kMaxHeaders, "a list's worth");
    if (recorder.started) {
        Require(payload.ends_with(recorder.body), "the body is the answer's last bytes");
        const std::string_view head = payload.substr(0, payload.size() - recorder.body.size());
        Require(head.ends_with('\n'), "the body follows a line end");
    } else {
        Require(recorder.body.empty(), "no body before the headers' end");
    }
    return {recorder.events, recorder.body};
}

}  // namespace
}  // namespace pelorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pelorin::fuzz;
    const CutInput input = ReadCutInput(data, size);
    const Outcome whole = Run({input.payload}, input.payload);
    for (const auto& pieces : {Pieces(input.payload, input.lengths), SingleBytes(input.payload)}) {
        const Outcome cut = Run(pieces, input.payload);
        Require(cut.events == whole.events, "the same events whatever the cut");
        Require(cut.body == whole.body, "the same body whatever the cut");
    }
    return 0;
}
