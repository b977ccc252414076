// The web client's answer parser: it takes the bytes of one HTTP answer in pieces as
// they arrive and raises an event for the status line, each header, the end of the
// headers and each piece of the body. It holds no socket and no body, so the way the
// bytes are cut is all that can vary, the outcome never depends on it, and a body of any
// size passes through in the pieces it arrives in.
//
// Lines end at a line feed; carriage returns anywhere in a line are dropped. The status
// line splits at its first two spaces (version, number as Val reads it, message); a line
// with fewer than two spaces is no status line and is skipped. Header lines split at
// their first ": "; lines without it are skipped, and so are headers beyond
// WebClient_Header::kMaxHeaders (the rest of such an answer still arrives). An empty line,
// or one of spaces, ends the headers; every byte after it is body, unchanged. The answer
// has no length of its own: it ends when the owner says so (End), at the close of the
// connection.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelorin {

class AnswerParser;

// The parser's owner. The parser goes on after each event, unless the handler called
// Reset: the rest of that arrival then belongs to the answer given up and is dropped.
class AnswerParserEvents {
  public:
    virtual ~AnswerParserEvents() = default;
    virtual void StatusLineRead(AnswerParser& sender, const std::string& version, double number,
                                const std::string& message) = 0;
    virtual void HeaderRead(AnswerParser& sender, const std::string& name,
                            const std::string& value) = 0;
    // The empty line after the headers: body pieces follow.
    virtual void HeadEnded(AnswerParser& sender) = 0;
    // A piece of the body, never empty.
    virtual void BodyArrived(AnswerParser& sender, std::string_view piece) = 0;
    // End was called: `inBody` tells whether the headers had ended.
    virtual void AnswerEnded(AnswerParser& sender, bool inBody) = 0;
};

class AnswerParser {
  public:
    void SetEvents(AnswerParserEvents* events) { events_ = events; }

    // Forgets everything and waits for a status line.
    void Reset();
    // The next bytes of the answer. Ignored after End until Reset.
    void Take(std::string_view data);
    // The answer is over (the connection closed): raises AnswerEnded once.
    void End();
    bool InBody() const { return state_ == State::Body; }
    // Bytes of the head waiting for their line feed.
    std::size_t BufferedBytes() const { return lineBuffer_.size(); }

  private:
    enum class State { StatusLine, Headers, Body, Ended };

    void ParseStatusLine(const std::string& line);
    void ParseHeaderLine(const std::string& line);

    AnswerParserEvents* events_ = nullptr;
    State state_ = State::StatusLine;
    std::string lineBuffer_;  // head bytes not yet split into lines
    int headers_ = 0;         // headers raised for this answer
    // Counts resets, so a loop notices when a handler has started another answer.
    std::uint64_t generation_ = 0;
};

}  // namespace pelorin
