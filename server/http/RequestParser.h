// The request parser of one connection: it takes the bytes of one HTTP request in pieces
// as they arrive and reads them into request line, headers and body. It holds no socket,
// so the way the bytes are cut into pieces is all that can vary, and the outcome never
// depends on it.
//
// Lines end at a carriage return; a line feed right after it belongs to it, even when it
// arrives with the next piece, and line feeds elsewhere are dropped (a line feed alone
// never ends a line). The request line splits at its first two spaces; header lines at
// their first colon, the value without the spaces and tabs around it, lines without a
// colon skipped; Content-Length is taken as the body's length and not kept as a header;
// an empty line or one of spaces ends the headers. The body is cut to Content-Length bytes, and the
// request is complete once they are there (at the empty line without Content-Length). Data after it
// is ignored. The body is kept in ClientPostData, or, once StreamBody is set, handed to the owner
// in the pieces it arrives in and not kept at all.
//
// A body sent with "Transfer-Encoding: chunked" (the value in any case, not kept as a
// header either) is decoded on the way: chunk sizes in hex digits, each size line perhaps
// with extensions after a ";" (ignored), each line of the framing ended by CR LF, the data
// of each chunk followed by CR LF, a last chunk of size 0, trailer lines (dropped) and the
// empty line that ends the request. Only the chunks' data reaches the body, in the same way
// as a body of Content-Length bytes, and ClientContentLength counts the sizes read so far.
// The framing is read strictly, since a reader that guesses at it may find a different
// body than the peer sent: a line feed without its carriage return, or a carriage return
// without its line feed, refuses the request (5).
//
// Refused, once, and then done: a line whose carriage return does not stand within the
// first `maxLineEnd` bytes of its line (error 6), a Content-Length beyond 32 bits (6),
// below 0 (5), that is not plain digits (13) or that disagrees with an earlier one (5), a
// header name with a space or tab before its colon (5), a chunked body beside a
// Content-Length (5: which of the two ends the body is not for this server to guess), a
// chunk size that does not start with a hex digit or has anything but ";" (after blanks)
// after its digits (13), chunk sizes whose sum goes beyond 32 bits (6), broken chunk framing
// (5), a Transfer-Encoding other than the one "chunked" (its own event,
// CodingNotImplemented), more headers than a header list holds (9),
// headers whose names and values together exceed kMaxHeaderBytes (7): what a connection holds of
// its request is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/WebClient_Header.h"

namespace pelorin {

// The request as the parser has read it so far, byte strings as they arrived.
struct ClientRequest {
    std::string ClientCommand;      // before the request line's first space
    std::string ClientPage;         // between its first and second space
    std::string ClientHTTPVersion;  // everything after the second space
    // The headers other than Content-Length and Transfer-Encoding, in arrival order; empty
    // until the first.
    std::shared_ptr<WebClient_Header> ClientHeaders;
    // 0 when none was sent; for a chunked body the sum of the chunk sizes read so far.
    std::int32_t ClientContentLength = 0;
    std::string ClientPostData;  // the body, cut to ClientContentLength bytes
};

class RequestParser;

// The parser's owner. The parser goes on after each event, so a handler may reset it.
class RequestParserEvents {
  public:
    virtual ~RequestParserEvents() = default;
    virtual void RequestLineRead(RequestParser& sender) = 0;
    // The header has just been appended to ClientHeaders.
    virtual void HeaderAdded(RequestParser& sender, const std::shared_ptr<OneHeader>& header) = 0;
    // Body bytes as they arrive, with StreamBody set; all of them come before
    // RequestComplete.
    virtual void BodyArrived(RequestParser& /*sender*/, std::string_view /*piece*/) {}
    virtual void RequestComplete(RequestParser& sender) = 0;
    // `number` is the run-time error that says why.
    virtual void RequestRefused(RequestParser& sender, int number) = 0;
    // The body comes in a transfer coding other than chunked alone, which this parser does
    // not decode: the request ends here, refused, rather than be taken as one without body.
    virtual void CodingNotImplemented(RequestParser& sender) = 0;
};

// Line positions are 16-bit: a line's carriage return must stand within its first
// 32,767 bytes.
inline constexpr std::size_t kMaxRequestLineEnd = 32767;
// The names and values of the headers kept for one request, in bytes.
inline constexpr std::size_t kMaxHeaderBytes = 1u << 20;

class RequestParser {
  public:
    // Fills `request`, which must outlive the parser.
    explicit RequestParser(ClientRequest& request, std::size_t maxLineEnd = kMaxRequestLineEnd);
    RequestParser(const RequestParser&) = delete;
    RequestParser& operator=(const RequestParser&) = delete;

    void SetEvents(RequestParserEvents* events) { events_ = events; }

    // Empties the request and waits for a new one. A request that is only ever refused
    // (`keepContent` false: its peer is not served) keeps no headers and no body and is
    // complete at the end of its headers: holding them would only let such a peer fill
    // the memory.
    void Reset(bool keepContent);
    // On: the body goes to BodyArrived instead of ClientPostData. Kept across Reset.
    void StreamBody(bool on) { streamBody_ = on; }
    // The next piece of the request.
    void Take(std::string_view data);
    // Complete or refused: further data is ignored.
    bool Finished() const { return state_ == ParseState::Complete; }
    // The request line and the headers are read (or the request is finished).
    bool HeadRead() const {
        return state_ != ParseState::RequestLine && state_ != ParseState::Headers;
    }
    // Bytes waiting to become a line; always below `maxLineEnd`.
    std::size_t BufferedBytes() const { return receiveBuffer_.size(); }

  private:
    enum class ParseState : std::int16_t { RequestLine = 0, Headers = 1, Body = 2, Complete = 3 };
    enum class LineResult { Line, NeedMore, TooLong };

    void Parse();
    LineResult TakeLine(std::string& line);
    void ParseRequestLine(const std::string& line);
    void ParseHeaderLine(const std::string& line);
    void TakeContentLength(const std::string& value);
    void TakeContentCoding(const std::string& value);
    void TakeBody(std::string_view bytes);
    void TakeChunked(std::string_view bytes);
    // What a byte of the chunk framing does: go on, end the request, or refuse it (the
    // error's number).
    static constexpr int kGoOn = 0;
    static constexpr int kEnd = -1;
    int TakeFramingByte(char c);
    int CountLineByte();
    void Complete();
    void Refuse(int number);

    ClientRequest& request_;
    const std::size_t maxLineEnd_;
    RequestParserEvents* events_ = nullptr;
    bool keepContent_ = false;
    bool streamBody_ = false;
    std::size_t headerBytes_ = 0;  // names and values of the headers kept
    bool lengthSeen_ = false;      // a Content-Length came, so another must agree
    std::size_t bodyTaken_ = 0;    // body bytes handed to BodyArrived
    // Where a chunked body stands: in a line of the framing (what the next byte must be),
    // or in a chunk's data. The framing is read a byte at a time and never buffered, so
    // however the body is cut, every byte is judged at the same place.
    enum class ChunkStep : std::uint8_t {
        SizeFirstDigit,   // a size line's first byte, a hex digit
        SizeDigits,       // more digits, blanks before ";", ";", or the carriage return
        SizeBlanks,       // blanks after the digits: more of them or ";"
        Extension,        // after ";": ignored up to the carriage return
        SizeLineFeed,     // the size line's line feed
        Data,             // chunkLeft_ bytes of data
        DataReturn,       // the carriage return after the data
        DataLineFeed,     // its line feed
        TrailerStart,     // a trailer line's first byte, or the carriage return of the end
        Trailer,          // a trailer line, dropped
        TrailerLineFeed,  // a trailer line's line feed
        EndLineFeed,      // the line feed that ends the request
    };
    bool chunked_ = false;  // "Transfer-Encoding: chunked" came
    ChunkStep chunkStep_ = ChunkStep::SizeFirstDigit;
    std::int32_t chunkSize_ = 0;  // the size line's value so far
    std::int32_t chunkLeft_ = 0;  // data bytes of the current chunk still to come
    std::size_t lineBytes_ = 0;   // bytes of the current framing line before its end
    ParseState state_ = ParseState::RequestLine;
    std::string receiveBuffer_;  // an unfinished line, kept for the next arrival
    std::string_view input_;     // during one Take: the bytes being parsed
    std::size_t consumed_ = 0;   // bytes of input_ taken
    // Bytes at the start of input_ searched for a carriage return before, without one:
    // what the buffer held when the arrival was appended. A line that comes in small
    // pieces is then searched once in all, not once for every piece.
    std::size_t searchedBefore_ = 0;
    // The last line ended with its carriage return at the end of the data so far: a line
    // feed at the start of the next data still belongs to it.
    bool lineFeedMayFollow_ = false;
};

}  // namespace pelorin
