#include "client/tool/StoreTool.h"

#include <array>
#include <charconv>
#include <istream>
#include <optional>
#include <ostream>
#include <sstream>
#include <string_view>

#include "PelorinVersion.h"
#include "base/Text.h"

namespace pelorin::tool {
namespace {

enum class Method {
    GetFile,
    SetFile,
    NewFile,
    NewFolder,
    DeleteFile,
    DeleteFolder,
    DirFile,
    DirFolder
};

struct MethodName {
    std::string_view name;
    Method method;
};

constexpr std::array<MethodName, 8> kMethods{{
    {"GetFile", Method::GetFile},
    {"SetFile", Method::SetFile},
    {"NewFile", Method::NewFile},
    {"NewFolder", Method::NewFolder},
    {"DeleteFile", Method::DeleteFile},
    {"DeleteFolder", Method::DeleteFolder},
    {"DirFile", Method::DirFile},
    {"DirFolder", Method::DirFolder},
}};

constexpr std::string_view kUsage =
    "usage: pelorin-client [--port N] METHOD [NAME [CONTENT]]\n"
    "       pelorin-client --help | --version\n"
    "METHOD: GetFile, SetFile, NewFile, NewFolder, DeleteFile, DeleteFolder, DirFile, "
    "DirFolder\n";

constexpr std::string_view kHelp =
    "Runs one method of the store client against the store server on this machine.\n"
    "--port N: the server's port (88 without it)\n"
    "NAME: the item, a path below the server's data folder (\"\" without it)\n"
    "CONTENT: what SetFile stores; without it, standard input to its end\n"
    "GetFile writes the file's bytes, DirFolder the listing, DirFile true or false.\n"
    "Exit status: 0 done, 1 the method failed (\"error N: text\" on standard error),\n"
    "2 wrong arguments.\n";

constexpr std::string_view kVersion = "pelorin-client " PELORIN_VERSION_TEXT "\n";

// What the first argument asks to be shown instead of running a method; "" for none.
std::string InformationAsked(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return {};
    if (arguments.front() == "--help") return std::string(kUsage) + std::string(kHelp);
    if (arguments.front() == "--version") return std::string(kVersion);
    return {};
}

struct Request {
    std::optional<std::int32_t> port;
    Method method = Method::GetFile;
    std::string name;
    std::optional<std::string> content;  // SetFile only; none: standard input
};

// A usage error: what was wrong with the arguments.
struct UsageError {
    std::string problem;
};

std::int32_t ParsePort(const std::string& text) {
    std::int32_t port = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, port);
    if (text.empty() || error != std::errc() || last != end) {
        throw UsageError{"the port is not a whole number: \"" + text + "\""};
    }
    return port;
}

Method ParseMethod(const std::string& text) {
    for (const auto& entry : kMethods) {
        if (EqualsIgnoreCase(entry.name, text)) return entry.method;
    }
    throw UsageError{"unknown method \"" + text + "\""};
}

Request Parse(const std::vector<std::string>& arguments) {
    Request request;
    std::size_t next = 0;
    if (next < arguments.size() && arguments[next] == "--port") {
        if (next + 1 >= arguments.size()) throw UsageError{"--port needs a number"};
        request.port = ParsePort(arguments[next + 1]);
        next += 2;
    }
    if (next >= arguments.size()) throw UsageError{"no method given"};
    request.method = ParseMethod(arguments[next++]);
    if (next < arguments.size()) request.name = arguments[next++];
    if (next < arguments.size() && request.method == Method::SetFile) {
        request.content = arguments[next++];
    }
    if (next < arguments.size()) throw UsageError{"too many arguments"};
    return request;
}

std::string ReadAll(std::istream& in) {
    std::ostringstream bytes;
    bytes << in.rdbuf();  // an empty input sets failbit on `bytes`: that is no error
    if (in.bad()) throw StoreFailure{0, "cannot read standard input"};
    return std::move(bytes).str();
}

// Runs the method and returns what goes to standard output.
std::string Perform(StoreAccess& store, const Request& request, std::istream& in) {
    switch (request.method) {
        case Method::GetFile:
            return store.GetFile(request.name);
        case Method::SetFile:
            store.SetFile(request.name, request.content ? *request.content : ReadAll(in));
            return {};
        case Method::NewFile:
            store.NewFile(request.name);
            return {};
        case Method::NewFolder:
            store.NewFolder(request.name);
            return {};
        case Method::DeleteFile:
            store.DeleteFile(request.name);
            return {};
        case Method::DeleteFolder:
            store.DeleteFolder(request.name);
            return {};
        case Method::DirFile:
            return store.DirFile(request.name) ? "true\n" : "false\n";
        case Method::DirFolder:
            return store.DirFolder(request.name);
    }
    return {};
}

}  // namespace

int RunStoreTool(const std::vector<std::string>& arguments, const StoreOpener& open,
                 std::istream& in, std::ostream& out, std::ostream& err) {
    if (const std::string information = InformationAsked(arguments); !information.empty()) {
        out << information << std::flush;
        return out ? kExitSuccess : kExitMethodFailed;
    }
    Request request;
    try {
        request = Parse(arguments);
    } catch (const UsageError& e) {
        err << "pelorin-client: " << e.problem << "\n" << kUsage;
        return kExitUsage;
    }
    std::string output;
    try {
        const std::unique_ptr<StoreAccess> store = open();
        if (request.port) store->SetPort(*request.port);
        output = Perform(*store, request, in);
    } catch (const StoreFailure& e) {
        err << "error " << e.number << ": " << e.text << "\n";
        return kExitMethodFailed;
    }
    out.write(output.data(), static_cast<std::streamsize>(output.size()));
    out.flush();
    if (!out) {
        err << "pelorin-client: cannot write standard output\n";
        return kExitMethodFailed;
    }
    return kExitSuccess;
}

}  // namespace pelorin::tool
