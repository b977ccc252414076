// The web client's answer parser fed one input in three cuts: whole, in pieces the input
// chooses, and byte by byte. Every cut must give the same events with the same status
// and headers at each of them, and the same body; the body is exactly the bytes after
// the headers' empty line, passed on unchanged.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "net/WebClient.h"

namespace pelorin::fuzz {
namespace {

std::string Describe(const WebClient& client) {
    std::string text = client.answer_Version + "|" + std::to_string(client.answer_Number) + "|" +
                       client.answer_Message;
    for (std::int32_t i = 1; i <= client.answer_Headers->Anzahl; ++i) {
        const auto header = client.answer_Headers->GetHeader(i);
        text += "|" + header->TheName + ": " + header->TheValue;
    }
    return text;
}

// Writes down each event with what it reports; body pieces are only gathered, as their
// cut follows the arrivals.
class Recorder : public WebClientEvents {
  public:
    void DataArrival(WebClient& sender, std::string& piece) override {
        Require(started, "no body before the headers' end");
        body += piece;
        Require(sender.Data == body, "Data holds the body so far");
    }
    void NewHeader(WebClient& sender, const std::shared_ptr<OneHeader>& header) override {
        Require(sender.answer_Headers->GetLastHeader() == header, "the header raised is the last");
        Note("header " + header->TheName + ": " + header->TheValue);
    }
    void GetAnswer(WebClient& sender) override {
        Note("status " + sender.answer_Version + "|" + std::to_string(sender.answer_Number) + "|" +
             sender.answer_Message + "|" + std::to_string(sender.answer_Headers->Anzahl));
    }
    void StartOfDataArrival(WebClient& sender) override {
        Note("body " + Describe(sender));
        started = true;
    }
    void Error(WebClient&, std::int32_t, std::string&) override { Fail("no error while parsing"); }
    void Closed(WebClient&) override { Fail("no close while parsing"); }

    std::vector<std::string> events;
    std::string body;
    bool started = false;

  private:
    void Note(const std::string& name) {
        Require(!started, "no status or header in the body");
        events.push_back(name);
    }
};

struct Outcome {
    std::vector<std::string> events;
    std::string answer;
    std::string data;
};

Outcome Run(const std::vector<std::string_view>& pieces, std::string_view payload) {
    const auto client = WebClient::Create();
    Recorder recorder;
    client->SetEvents(&recorder);
    for (const std::string_view piece : pieces) client->Socket_DataArrival(piece);
    client->SetEvents(nullptr);
    Require(client->Data == recorder.body, "Data is the pieces raised");
    Require(client->answer_Headers->Anzahl <= WebClient_Header::kMaxHeaders, "a list's worth");
    if (recorder.started) {
        Require(payload.ends_with(client->Data), "the body is the answer's last bytes");
        const std::string_view head = payload.substr(0, payload.size() - client->Data.size());
        Require(head.ends_with('\n'), "the body follows a line end");
    } else {
        Require(client->Data.empty(), "no body before the headers' end");
    }
    client->Cancel();
    return {recorder.events, Describe(*client), client->Data};
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
        Require(cut.answer == whole.answer, "the same answer whatever the cut");
        Require(cut.data == whole.data, "the same body whatever the cut");
    }
    return 0;
}
