// The tool pelorin-client: one store method per run.
//
//   pelorin-client [OPTIONS] METHOD [NAME [CONTENT]] [OPTIONS]
//   pelorin-client --help | --version
//
// METHOD is a store method's name in any letter case. NAME defaults to the empty name.
// SetFile sends CONTENT, the file of --from FILE, or standard input to its end when
// neither is given (--from - as well); only SetFile takes CONTENT or --from. GetFile
// writes the file's bytes to standard output as they arrive, or with -o/--output FILE to
// FILE, which appears only once the content is whole; DirFolder writes the listing as the
// class returns it, DirFile "true" or "false" and a line feed; the others write nothing.
// A content is never held whole: standard input goes to a temporary file first, as its
// length must be known before it is sent. While a content moves for over a second and
// standard error is a terminal, a line there shows the progress (not with --quiet).
// --help and --version as the first argument write the usage or "pelorin-client " and
// the version, and touch no store.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "client/tool/StoreAccess.h"

namespace pelorin::tool {

constexpr int kExitSuccess = 0;
// The store refused (an answer with another status), or the method failed otherwise;
// standard error: "error N: text", with " (status S)" when the store answered.
constexpr int kExitMethodFailed = 1;
constexpr int kExitUsage = 2;
// No answer from the store: no server on the port, or the connection failed or broke.
constexpr int kExitNoAnswer = 3;
// A local file, standard input or standard output could not be read or written.
constexpr int kExitLocalFile = 4;

using StoreOpener = std::function<std::unique_ptr<StoreAccess>()>;

// Where the progress line may go: whether standard error is a terminal, and a clock in
// seconds.
struct ToolConsole {
    bool errorIsTerminal = false;
    std::function<double()> seconds;
};

// Runs the tool with the arguments after the program name. The store is opened only
// once the arguments are known to be right.
int RunStoreTool(const std::vector<std::string>& arguments, const StoreOpener& open,
                 std::istream& in, std::ostream& out, std::ostream& err,
                 const ToolConsole& console = {});

}  // namespace pelorin::tool
