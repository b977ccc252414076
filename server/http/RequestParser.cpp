#include "server/http/RequestParser.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "base/RuntimeError.h"
#include "base/Text.h"

namespace pelorin {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Without the spaces and tabs around it: HTTP allows them after a header's colon and at
// the end of its value.
std::string_view WithoutBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The digit's value, or -1 when it is none.
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string WithoutLineFeeds(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(line),
                 [](char c) { return c != '\n'; });
    return line;
}

}  // namespace

RequestParser::RequestParser(ClientRequest& request, std::size_t maxLineEnd)
    : request_(request), maxLineEnd_(maxLineEnd) {}

void RequestParser::Reset(bool keepContent) {
    request_.ClientCommand.clear();
    request_.ClientPage.clear();
    request_.ClientHTTPVersion.clear();
    request_.ClientHeaders.reset();
    request_.ClientContentLength = 0;
    request_.ClientPostData.clear();
    keepContent_ = keepContent;
    headerBytes_ = 0;
    lengthSeen_ = false;
    bodyTaken_ = 0;
    chunked_ = false;
    chunkStep_ = ChunkStep::SizeFirstDigit;
    chunkSize_ = 0;
    chunkLeft_ = 0;
    lineBytes_ = 0;
    state_ = ParseState::RequestLine;
    receiveBuffer_.clear();
    input_ = {};
    consumed_ = 0;
    searchedBefore_ = 0;
    lineFeedMayFollow_ = false;
}

void RequestParser::Take(std::string_view data) {
    if (state_ == ParseState::Complete) return;
    if (lineFeedMayFollow_ && !data.empty()) {
        lineFeedMayFollow_ = false;
        if (data.front() == '\n') data.remove_prefix(1);
    }
    if (state_ == ParseState::Body) {
        // Body data goes straight to the body, without a stop in the receive buffer.
        TakeBody(data);
        return;
    }
    if (receiveBuffer_.empty()) {
        // The arrival is read where it lies: only what is left of it, an unfinished line,
        // is kept. (Copying a whole arrival, the first piece of a body with it, would
        // cost each connection as much memory again.)
        input_ = data;
        Parse();
        if (state_ == ParseState::RequestLine || state_ == ParseState::Headers) {
            receiveBuffer_.assign(input_.substr(std::min(consumed_, input_.size())));
        }
    } else {
        // What waits is the rest of a search that found no carriage return (else it would
        // have been taken as a line, or refused).
        searchedBefore_ = receiveBuffer_.size();
        receiveBuffer_.append(data);
        input_ = receiveBuffer_;
        Parse();
        // A handler may have reset the parser meanwhile: then there is nothing left.
        receiveBuffer_.erase(0, std::min(consumed_, receiveBuffer_.size()));
    }
    input_ = {};
    consumed_ = 0;
    searchedBefore_ = 0;
}

// Takes lines from input_ until one is incomplete or the request is; the body step runs in
// the same pass as the empty line, so a request without body is complete at its empty
// line. Whatever ends the request, or resets the parser, leaves input_ alone from then on.
void RequestParser::Parse() {
    while (state_ != ParseState::Complete) {
        if (state_ == ParseState::Body) {
            TakeBody(input_.substr(std::min(consumed_, input_.size())));
            break;
        }
        std::string line;
        const LineResult result = TakeLine(line);
        if (result == LineResult::NeedMore) break;
        if (result == LineResult::TooLong) {
            Refuse(errors::kOverflow);
            break;
        }
        if (state_ == ParseState::RequestLine) {
            ParseRequestLine(line);
            state_ = ParseState::Headers;
            if (events_ != nullptr) events_->RequestLineRead(*this);
        } else {
            ParseHeaderLine(line);
        }
    }
}

RequestParser::LineResult RequestParser::TakeLine(std::string& line) {
    const std::string_view pending = input_.substr(std::min(consumed_, input_.size()));
    if (pending.empty()) return LineResult::NeedMore;  // (memchr takes no empty view)
    const std::size_t searched = std::min(pending.size(), maxLineEnd_);
    // Only the first line of the buffer can begin with bytes searched before.
    const std::size_t from =
        std::min(searchedBefore_ - std::min(consumed_, searchedBefore_), searched);
    const auto* cr =
        static_cast<const char*>(std::memchr(pending.data() + from, '\r', searched - from));
    if (cr == nullptr) {
        // A longer line can never be taken, so waiting for its end would only let the
        // buffer grow without bound.
        return pending.size() >= maxLineEnd_ ? LineResult::TooLong : LineResult::NeedMore;
    }
    const auto end = static_cast<std::size_t>(cr - pending.data());
    line = WithoutLineFeeds(pending.substr(0, end));
    std::size_t next = end + 1;
    if (next == pending.size()) {
        // Its line feed may come with the next data; it must not start the body then.
        lineFeedMayFollow_ = true;
    } else if (pending[next] == '\n') {
        ++next;
    }
    consumed_ += next;
    return LineResult::Line;
}

void RequestParser::ParseRequestLine(const std::string& line) {
    const std::size_t first = line.find(' ');
    if (first == std::string::npos) return;
    request_.ClientCommand = line.substr(0, first);
    const std::string rest = line.substr(first + 1);
    const std::size_t second = rest.find(' ');
    if (second == std::string::npos) return;
    request_.ClientPage = rest.substr(0, second);
    request_.ClientHTTPVersion = rest.substr(second + 1);
}

void RequestParser::ParseHeaderLine(const std::string& line) {
    if (TrimSpaces(line).empty()) {
        state_ = ParseState::Body;
        return;
    }
    const std::size_t separator = line.find(':');
    if (separator == std::string::npos) return;
    const std::string name = line.substr(0, separator);
    // A name that ends in blanks is not a name: other servers on the way may read the
    // line differently, so it is refused rather than guessed at.
    if (!name.empty() && IsBlank(name.back())) {
        Refuse(errors::kInvalidProcedureCall);
        return;
    }
    const std::string value(WithoutBlanks(std::string_view(line).substr(separator + 1)));
    if (UpperCase(name) == "CONTENT-LENGTH") {
        if (chunked_) {
            Refuse(errors::kInvalidProcedureCall);
            return;
        }
        TakeContentLength(value);
        return;
    }
    if (!keepContent_) return;
    if (UpperCase(name) == "TRANSFER-ENCODING") {
        TakeContentCoding(value);
        return;
    }
    headerBytes_ += name.size() + value.size();
    if (headerBytes_ > kMaxHeaderBytes) {
        Refuse(errors::kOutOfMemory);
        return;
    }
    if (!request_.ClientHeaders) request_.ClientHeaders = std::make_shared<WebClient_Header>();
    const auto header = CreateHeader(name, value);
    try {
        request_.ClientHeaders->NewHeader(header);
    } catch (const RuntimeError& e) {
        Refuse(e.number());  // more headers than a list holds
        return;
    }
    if (events_ != nullptr) events_->HeaderAdded(*this, header);
}

// A length outside 0..2^31-1 cannot describe a body this connection could take. Anything
// but plain digits (a fraction, a second number, a word) is refused: read as some number,
// it would store part of the body, or none, and the answer would still say done.
void RequestParser::TakeContentLength(const std::string& value) {
    const std::string_view digits =
        !value.empty() && value.front() == '-' ? std::string_view(value).substr(1) : value;
    if (!IsDigits(digits)) {
        Refuse(errors::kTypeMismatch);
        return;
    }
    const auto length = RoundToInt32(Val(value));
    if (!length) {
        Refuse(errors::kOverflow);
    } else if (*length < 0 || (lengthSeen_ && *length != request_.ClientContentLength)) {
        Refuse(errors::kInvalidProcedureCall);
    } else {
        request_.ClientContentLength = *length;
        lengthSeen_ = true;
    }
}

// Chunked is the one coding taken apart here, and only alone: any other, one listed with
// it, or chunked twice (two headers list their values together) is a body this server
// cannot read. Beside a Content-Length the peer has said two things about where its body
// ends; a server or proxy before this one may have believed the other, so neither is
// taken.
void RequestParser::TakeContentCoding(const std::string& value) {
    if (chunked_ || UpperCase(value) != "CHUNKED") {
        state_ = ParseState::Complete;
        receiveBuffer_.clear();
        consumed_ = 0;
        if (events_ != nullptr) events_->CodingNotImplemented(*this);
        return;
    }
    if (lengthSeen_) {
        Refuse(errors::kInvalidProcedureCall);
        return;
    }
    chunked_ = true;
}

void RequestParser::TakeBody(std::string_view bytes) {
    if (!keepContent_) {
        request_.ClientPostData.clear();
        Complete();
        return;
    }
    if (chunked_) {
        TakeChunked(bytes);
        return;
    }
    const auto length = static_cast<std::size_t>(request_.ClientContentLength);
    if (streamBody_) {
        // The bytes may lie in the receive buffer, which must not change under the owner.
        const std::string_view piece = bytes.substr(0, length - bodyTaken_);
        bodyTaken_ += piece.size();
        if (!piece.empty() && events_ != nullptr) events_->BodyArrived(*this, piece);
        // A handler may have reset the parser meanwhile: then this request is over.
        if (state_ != ParseState::Body) return;
        // Lines are over; the first piece of the body may have made the buffer large.
        receiveBuffer_ = std::string();
        consumed_ = 0;
        if (bodyTaken_ == length) Complete();
        return;
    }
    request_.ClientPostData.append(bytes);
    receiveBuffer_.clear();
    consumed_ = 0;
    if (request_.ClientPostData.size() < length) return;
    request_.ClientPostData.resize(length);
    Complete();
}

// The framing between the chunks is judged a byte at a time, so a size line or a trailer
// never waits in a buffer. The data of one arrival goes on as one piece, whatever number
// of chunks it holds: a peer that sends small chunks costs the owner a write per arrival,
// not one per chunk. (It is copied only when framing stands between its parts.)
void RequestParser::TakeChunked(std::string_view bytes) {
    std::string_view data;  // the arrival's data while it is one part, where it lies
    std::string joined;     // the parts, once there are more than one
    std::size_t at = 0;
    int outcome = kGoOn;
    while (at < bytes.size() && outcome == kGoOn) {
        if (chunkStep_ != ChunkStep::Data) {
            outcome = TakeFramingByte(bytes[at++]);
            continue;
        }
        const std::size_t count = std::min(static_cast<std::size_t>(chunkLeft_), bytes.size() - at);
        chunkLeft_ -= static_cast<std::int32_t>(count);
        if (chunkLeft_ == 0) chunkStep_ = ChunkStep::DataReturn;
        const std::string_view part = bytes.substr(at, count);
        at += count;
        if (!streamBody_) {
            request_.ClientPostData.append(part);
        } else if (data.empty() && joined.empty()) {
            data = part;
        } else {
            if (joined.empty()) joined.assign(data);
            joined.append(part);
        }
    }
    // The data comes before the end it leads to.
    const std::string_view piece = joined.empty() ? data : std::string_view(joined);
    if (!piece.empty()) {
        bodyTaken_ += piece.size();
        if (events_ != nullptr) events_->BodyArrived(*this, piece);
        // A handler may have reset the parser meanwhile: then this request is over, and
        // the bytes may be gone with the receive buffer.
        if (state_ != ParseState::Body) return;
    }
    if (outcome == kEnd) {
        Complete();
    } else if (outcome != kGoOn) {
        Refuse(outcome);
    } else {
        // Lines are over; the first piece of the body may have made the buffer large.
        receiveBuffer_ = std::string();
        consumed_ = 0;
    }
}

// What the byte means where the framing stands: kGoOn, kEnd (the request is complete),
// or the number of the error that refuses the request.
int RequestParser::TakeFramingByte(char c) {
    // Wherever a line of the framing may not end yet, a line feed is one without its
    // carriage return.
    const int misplaced = c == '\n' ? errors::kInvalidProcedureCall : errors::kTypeMismatch;
    switch (chunkStep_) {
        case ChunkStep::SizeFirstDigit:
        case ChunkStep::SizeDigits: {
            const int digit = HexDigit(c);
            if (digit >= 0) {
                const std::int64_t size = std::int64_t{chunkSize_} * 16 + digit;
                if (size > std::numeric_limits<std::int32_t>::max() -
                               std::int64_t{request_.ClientContentLength}) {
                    return errors::kOverflow;  // the body would be beyond 32 bits
                }
                chunkSize_ = static_cast<std::int32_t>(size);
                chunkStep_ = ChunkStep::SizeDigits;
                return CountLineByte();
            }
            if (chunkStep_ == ChunkStep::SizeFirstDigit) return misplaced;
            if (c == '\r') {
                chunkStep_ = ChunkStep::SizeLineFeed;
                return kGoOn;
            }
            if (!IsBlank(c) && c != ';') return misplaced;
            chunkStep_ = c == ';' ? ChunkStep::Extension : ChunkStep::SizeBlanks;
            return CountLineByte();
        }
        case ChunkStep::SizeBlanks:
            if (!IsBlank(c) && c != ';') return misplaced;
            if (c == ';') chunkStep_ = ChunkStep::Extension;
            return CountLineByte();
        case ChunkStep::Extension:
        case ChunkStep::Trailer:
            if (c == '\n') break;
            if (c != '\r') return CountLineByte();
            chunkStep_ = chunkStep_ == ChunkStep::Extension ? ChunkStep::SizeLineFeed
                                                            : ChunkStep::TrailerLineFeed;
            return kGoOn;
        case ChunkStep::SizeLineFeed:
            if (c != '\n') break;
            lineBytes_ = 0;
            request_.ClientContentLength += chunkSize_;
            chunkLeft_ = chunkSize_;
            chunkSize_ = 0;
            chunkStep_ = chunkLeft_ == 0 ? ChunkStep::TrailerStart : ChunkStep::Data;
            return kGoOn;
        case ChunkStep::DataReturn:
            if (c != '\r') break;
            chunkStep_ = ChunkStep::DataLineFeed;
            return kGoOn;
        case ChunkStep::DataLineFeed:
            if (c != '\n') break;
            chunkStep_ = ChunkStep::SizeFirstDigit;
            return kGoOn;
        case ChunkStep::TrailerStart:
            if (c == '\n') break;
            if (c != '\r') {
                chunkStep_ = ChunkStep::Trailer;
                return CountLineByte();
            }
            chunkStep_ = ChunkStep::EndLineFeed;
            return kGoOn;
        case ChunkStep::TrailerLineFeed:
            if (c != '\n') break;
            lineBytes_ = 0;
            chunkStep_ = ChunkStep::TrailerStart;
            return kGoOn;
        case ChunkStep::EndLineFeed:
            if (c != '\n') break;
            return kEnd;
        case ChunkStep::Data:
            return kGoOn;  // (data is taken in pieces, never here)
    }
    return errors::kInvalidProcedureCall;  // no CR LF where a line or a chunk's data ends
}

// Like a header line, a line of the framing must end within the first `maxLineEnd` bytes.
int RequestParser::CountLineByte() {
    return ++lineBytes_ >= maxLineEnd_ ? errors::kOverflow : kGoOn;
}

void RequestParser::Complete() {
    state_ = ParseState::Complete;
    receiveBuffer_.clear();
    consumed_ = 0;
    if (events_ != nullptr) events_->RequestComplete(*this);
}

void RequestParser::Refuse(int number) {
    state_ = ParseState::Complete;
    receiveBuffer_.clear();
    consumed_ = 0;
    if (events_ != nullptr) events_->RequestRefused(*this, number);
}

}  // namespace pelorin
