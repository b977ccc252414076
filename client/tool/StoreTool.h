// The tool pelorin-client: one store method per run.
//
//   pelorin-client [--port N] METHOD [NAME [CONTENT]]
//   pelorin-client --help | --version
//
// METHOD is a store method's name in any letter case. NAME defaults to the empty name.
// SetFile sends CONTENT, or standard input to its end when CONTENT is omitted; only
// SetFile takes CONTENT. GetFile writes the file's bytes, DirFolder the listing as the
// class returns it, DirFile "true" or "false" and a line feed; the others write nothing.
// --help and --version write the usage or "pelorin-client " and the version, and touch no
// store.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "client/tool/StoreAccess.h"

namespace pelorin::tool {

constexpr int kExitSuccess = 0;
constexpr int kExitMethodFailed = 1;  // standard error: "error N: text"
constexpr int kExitUsage = 2;

using StoreOpener = std::function<std::unique_ptr<StoreAccess>()>;

// Runs the tool with the arguments after the program name. The store is opened only
// once the arguments are known to be right.
int RunStoreTool(const std::vector<std::string>& arguments, const StoreOpener& open,
                 std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace pelorin::tool
