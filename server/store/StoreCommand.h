// One store request run against the data folder: the command, its file-system
// operation, its one answer and its log lines. Free of sockets, so the request handler
// (DBClient) only carries requests to it and answers back.
#pragma once

#include <string>
#include <string_view>

namespace pelorin {

// Where the answer goes: the status line first, then the body in pieces, in order.
class StoreAnswerWriter {
  public:
    virtual ~StoreAnswerWriter() = default;
    virtual void SendStatus(int status, std::string_view reason) = 0;
    // Takes the piece over: a file read for GET is handed on without another copy.
    virtual void SendBody(std::string piece) = 0;
};

struct StoreRequest {
    std::string_view command;  // the request method as received
    std::string_view target;   // the request target as received
    std::string_view body;
};

// Runs the request as a store command on the data folder (no trailing separator) and
// writes exactly one answer to `out`: 200, 201, 404, 409 or 501, or the error answer
// 400 "Bad Request" with the body "Fehler N: text" when the file system fails or the
// name is refused. Nothing is touched before the name has passed its checks.
void RunStoreCommand(const StoreRequest& request, std::string_view dataFolder,
                     StoreAnswerWriter& out);

}  // namespace pelorin
