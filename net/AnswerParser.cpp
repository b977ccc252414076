#include "net/AnswerParser.h"

#include <algorithm>

#include "base/Text.h"
#include "net/WebClient_Header.h"

namespace pelorin {

void AnswerParser::Reset() {
    ++generation_;
    state_ = State::StatusLine;
    lineBuffer_.clear();
    headers_ = 0;
}

void AnswerParser::Take(std::string_view data) {
    if (data.empty() || state_ == State::Ended) return;
    if (state_ == State::Body) {
        if (events_ != nullptr) events_->BodyArrived(*this, data);
        return;
    }
    // Only the new bytes can hold the line feed the buffer waits for: a line that comes
    // in small pieces is searched once in all.
    std::size_t searchFrom = lineBuffer_.size();
    lineBuffer_ += data;
    const std::uint64_t answer = generation_;
    // Every complete line is parsed, whatever came before it in the piece, so an answer
    // parses the same however the network cuts it.
    while ((state_ == State::StatusLine || state_ == State::Headers) && answer == generation_) {
        const std::size_t lineFeed = lineBuffer_.find('\n', searchFrom);
        if (lineFeed == std::string::npos) return;
        std::string line = lineBuffer_.substr(0, lineFeed);
        std::erase(line, '\r');
        lineBuffer_.erase(0, lineFeed + 1);
        searchFrom = 0;
        if (state_ == State::StatusLine) {
            ParseStatusLine(line);
        } else if (TrimSpaces(line).empty()) {
            state_ = State::Body;
            if (events_ != nullptr) events_->HeadEnded(*this);
        } else {
            ParseHeaderLine(line);
        }
    }
    if (answer != generation_ || state_ != State::Body) return;
    std::string rest;
    rest.swap(lineBuffer_);
    if (!rest.empty() && events_ != nullptr) events_->BodyArrived(*this, rest);
}

void AnswerParser::End() {
    if (state_ == State::Ended) return;
    const bool inBody = state_ == State::Body;
    state_ = State::Ended;
    lineBuffer_.clear();
    if (events_ != nullptr) events_->AnswerEnded(*this, inBody);
}

void AnswerParser::ParseStatusLine(const std::string& line) {
    const std::size_t first = line.find(' ');
    const std::size_t second =
        first == std::string::npos ? std::string::npos : line.find(' ', first + 1);
    if (second == std::string::npos) return;  // not a status line: skipped
    state_ = State::Headers;
    if (events_ == nullptr) return;
    events_->StatusLineRead(*this, line.substr(0, first),
                            Val(std::string_view(line).substr(first + 1, second - first - 1)),
                            line.substr(second + 1));
}

void AnswerParser::ParseHeaderLine(const std::string& line) {
    const std::size_t separator = line.find(": ");
    if (separator == std::string::npos) return;  // not a header line: skipped
    // A full list takes no more: the rest of such an answer still arrives.
    if (headers_ >= WebClient_Header::kMaxHeaders) return;
    ++headers_;
    if (events_ != nullptr)
        events_->HeaderRead(*this, line.substr(0, separator), line.substr(separator + 2));
}

}  // namespace pelorin
