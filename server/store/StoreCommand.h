// One store request run against the data folder: the command, its file-system
// operation, its one answer and its log lines. Free of sockets, so the request handler
// (DBClient) only carries requests to it and answers back.
#pragma once

#include <string>
#include <string_view>

#include "platform/Files.h"

namespace pelorin {

// Where the answer goes: the status line first, then the body in pieces, in order.
class StoreAnswerWriter {
  public:
    virtual ~StoreAnswerWriter() = default;
    virtual void SendStatus(int status, std::string_view reason) = 0;
    virtual void SendBody(std::string piece) = 0;
    // Takes the open file over; its bytes are the body. Here they are read and handed
    // to SendBody as one piece (a failed read throws RuntimeError); a writer to a
    // connection sends them from the file instead.
    virtual void SendBodyFile(platform::ReadableFile file);
};

struct StoreRequest {
    std::string_view command;  // the request method as received
    std::string_view target;   // the request target as received
    // The body as received; with `upload` only what the content log shows (BodyLogged).
    std::string_view body;
    // A body already written as it arrived, to the replacement that BeginUpload began
    // for a SET; nullptr: `body` is the content to store. A SET commits it or leaves it.
    platform::FileReplacement* upload = nullptr;
};

// True when running a request of `command` logs its body's bytes (" Content: "): a SET,
// while the log shows contents (LOG2 or LOG3, or the debug window). Only then does a
// request need its body in memory.
bool BodyLogged(std::string_view command);

// Begins `upload` for the body of `request` when it is a SET of a name the store takes,
// and answers true (a failure to begin is kept in `upload`, and answered by the SET).
// Otherwise it leaves `upload` alone and answers false: a name the SET would refuse, or
// one that names a folder, gets no temporary file at all. The body is then written to
// the upload as it arrives, and the request run with it when complete.
bool BeginUpload(const StoreRequest& request, std::string_view dataFolder,
                 platform::FileReplacement& upload);

// Runs the request as a store command on the data folder (no trailing separator) and
// writes exactly one answer to `out`: 200, 201, 404, 409 or 501, or the error answer
// 400 "Bad Request" with the body "Fehler N: text" when the file system fails or the
// name is refused. Nothing is touched before the name has passed its checks.
void RunStoreCommand(const StoreRequest& request, std::string_view dataFolder,
                     StoreAnswerWriter& out);

}  // namespace pelorin
