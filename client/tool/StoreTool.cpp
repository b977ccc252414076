#include "client/tool/StoreTool.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <random>
#include <string_view>

#include "PelorinVersion.h"
#include "base/Text.h"

namespace pelorin::tool {
namespace {

// The store client's number for a local file that could not be read or written.
constexpr int kLocalFileError = 75;

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
    "       pelorin-client [--port N] [--quiet] GetFile NAME [-o FILE]\n"
    "       pelorin-client [--port N] [--quiet] SetFile NAME --from FILE|-\n"
    "       pelorin-client --help | --version\n"
    "METHOD: GetFile, SetFile, NewFile, NewFolder, DeleteFile, DeleteFolder, DirFile, "
    "DirFolder\n";

constexpr std::string_view kHelp =
    "Runs one method of the store client against the store server on this machine.\n"
    "--port N: the server's port (88 without it)\n"
    "NAME: the item, a path below the server's data folder (\"\" without it)\n"
    "CONTENT: what SetFile stores; without it, standard input to its end\n"
    "--from FILE: SetFile stores the file's content (- for standard input)\n"
    "-o FILE, --output FILE: GetFile writes to FILE, which appears only once whole\n"
    "--quiet: no progress line (shown on a terminal while a content moves over a second)\n"
    "The options go before METHOD or after NAME (and CONTENT).\n"
    "GetFile writes the file's bytes as they arrive, DirFolder the listing, DirFile true\n"
    "or false. A content of any size takes little memory.\n"
    "Exit status: 0 done; 1 the store refused (\"error N: text (status S)\" on standard\n"
    "error) or the method failed otherwise; 2 wrong arguments; 3 no answer from the\n"
    "store (no server on the port, connection failed or broken); 4 a local file,\n"
    "standard input or standard output could not be read or written.\n";

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
    std::optional<std::string> content;  // SetFile only
    std::optional<std::string> from;     // SetFile only; "-" standard input
    std::optional<std::string> output;   // GetFile only
    bool quiet = false;
};

// A usage error: what was wrong with the arguments.
struct UsageError {
    std::string problem;
};

// A local file or standard stream that failed.
struct LocalFailure {
    std::string text;
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

// Takes the option at arguments[next] into the request and answers how many arguments
// it used; 0 when it is no option. `front`: before the method, where --port goes too.
std::size_t TakeOption(const std::vector<std::string>& arguments, std::size_t next, bool front,
                       Request& request) {
    const std::string& option = arguments[next];
    const auto value = [&]() -> const std::string& {
        if (next + 1 >= arguments.size()) throw UsageError{option + " needs a value"};
        return arguments[next + 1];
    };
    if (option == "--quiet" || option == "-q") {
        request.quiet = true;
        return 1;
    }
    if (option == "--port" && front) {
        if (next + 1 >= arguments.size()) throw UsageError{"--port needs a number"};
        request.port = ParsePort(value());
        return 2;
    }
    if (option == "-o" || option == "--output") {
        request.output = value();
        return 2;
    }
    if (option == "--from") {
        request.from = value();
        return 2;
    }
    return 0;
}

Request Parse(const std::vector<std::string>& arguments) {
    Request request;
    std::size_t next = 0;
    while (next < arguments.size()) {
        const std::size_t used = TakeOption(arguments, next, true, request);
        if (used == 0) break;
        next += used;
    }
    if (next >= arguments.size()) throw UsageError{"no method given"};
    request.method = ParseMethod(arguments[next++]);
    // The name is whatever follows the method, even when it looks like an option.
    if (next < arguments.size()) request.name = arguments[next++];
    if (next < arguments.size() && request.method == Method::SetFile &&
        TakeOption(arguments, next, false, request) == 0) {
        request.content = arguments[next++];
    }
    while (next < arguments.size()) {
        const std::size_t used = TakeOption(arguments, next, false, request);
        if (used == 0) throw UsageError{"too many arguments"};
        next += used;
    }
    if (request.from && request.method != Method::SetFile) {
        throw UsageError{"only SetFile takes --from"};
    }
    if (request.from && request.content) throw UsageError{"CONTENT and --from both given"};
    if (request.output && request.method != Method::GetFile) {
        throw UsageError{"only GetFile takes --output"};
    }
    return request;
}

// Standard input in a temporary file of its own, removed with the object: a content's
// length must be known before it is sent, and standard input is read to its end first.
class SpooledInput {
  public:
    explicit SpooledInput(std::istream& in) {
        std::random_device random;
        std::error_code failed;
        path_ = std::filesystem::temp_directory_path(failed) /
                ("pelorin-client-" + std::to_string(random()) + ".tmp");
        if (failed) throw LocalFailure{"no folder for temporary files"};
        std::ofstream file(path_, std::ios::binary);
        std::array<char, 64 * 1024> buffer;
        while (file && in) {
            in.read(buffer.data(), buffer.size());
            file.write(buffer.data(), in.gcount());
        }
        if (in.bad()) throw LocalFailure{"cannot read standard input"};
        file.close();
        if (!file) throw LocalFailure{"cannot write " + path_.string()};
    }
    ~SpooledInput() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    SpooledInput(const SpooledInput&) = delete;
    SpooledInput& operator=(const SpooledInput&) = delete;
    std::string path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

// The progress line on a terminal's standard error: once a transfer has taken a second,
// its bytes, rate and (where the length is known) percentage, redrawn at most five times
// a second in place and cleared at the end.
class ProgressLine {
  public:
    ProgressLine(std::ostream& err, const ToolConsole& console, bool wanted)
        : err_(err), console_(console), on_(wanted && console.errorIsTerminal && console.seconds) {
        if (on_) start_ = console_.seconds();
    }
    ~ProgressLine() { Clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    StoreProgress Callback() {
        if (!on_) return {};
        return [this](std::uint64_t done, std::int64_t total) { Show(done, total); };
    }
    void Clear() {
        if (width_ == 0) return;
        err_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
        width_ = 0;
    }

  private:
    void Show(std::uint64_t done, std::int64_t total) {
        const double now = console_.seconds();
        if (now - start_ < 1.0 || (width_ != 0 && now - shown_ < 0.2)) return;
        shown_ = now;
        std::string line = Amount(static_cast<double>(done)) + "  " +
                           Amount(static_cast<double>(done) / (now - start_)) + "/s";
        if (total > 0) {
            line += "  " + std::to_string(done * 100 / static_cast<std::uint64_t>(total)) + "%";
        }
        const std::size_t width = line.size();
        if (line.size() < width_) line += std::string(width_ - line.size(), ' ');
        err_ << '\r' << line << std::flush;
        width_ = std::max(width_, width);
    }
    static std::string Amount(double bytes) {
        constexpr std::array<const char*, 4> kUnits{"B", "KiB", "MiB", "GiB"};
        std::size_t unit = 0;
        while (bytes >= 1024 && unit + 1 < kUnits.size()) {
            bytes /= 1024;
            ++unit;
        }
        char text[32];
        std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
        return text;
    }

    std::ostream& err_;
    const ToolConsole& console_;
    const bool on_;
    double start_ = 0;
    double shown_ = 0;
    std::size_t width_ = 0;  // of the longest line drawn; 0 while none shows
};

// Runs the method and returns what goes to standard output (GetFile writes its own).
std::string Perform(StoreAccess& store, const Request& request, std::istream& in, std::ostream& out,
                    const StoreProgress& progress) {
    switch (request.method) {
        case Method::GetFile:
            if (request.output) {
                store.GetFileToFile(request.name, *request.output, progress);
            } else {
                store.GetFileTo(
                    request.name,
                    [&out](std::string_view piece) {
                        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
                        if (!out) throw LocalFailure{"cannot write standard output"};
                    },
                    progress);
            }
            return {};
        case Method::SetFile:
            if (request.content) {
                store.SetFile(request.name, *request.content);
            } else if (request.from && *request.from != "-") {
                store.SetFileFromFile(request.name, *request.from, progress);
            } else {
                const SpooledInput input(in);
                store.SetFileFromFile(request.name, input.path(), progress);
            }
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

// The failure's class of exit status.
int ExitStatusOf(const StoreFailure& failure) {
    if (failure.number == kLocalFileError) return kExitLocalFile;
    if (failure.status == 0) return kExitNoAnswer;
    return kExitMethodFailed;
}

}  // namespace

int RunStoreTool(const std::vector<std::string>& arguments, const StoreOpener& open,
                 std::istream& in, std::ostream& out, std::ostream& err,
                 const ToolConsole& console) {
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
    ProgressLine progress(err, console, !request.quiet);
    try {
        const std::unique_ptr<StoreAccess> store = open();
        if (request.port) store->SetPort(*request.port);
        output = Perform(*store, request, in, out, progress.Callback());
    } catch (const StoreFailure& e) {
        progress.Clear();
        err << "error " << e.number << ": " << e.text;
        if (e.status > 0) err << " (status " << e.status << ")";
        err << "\n";
        return ExitStatusOf(e);
    } catch (const LocalFailure& e) {
        progress.Clear();
        err << "pelorin-client: " << e.text << "\n";
        return kExitLocalFile;
    }
    progress.Clear();
    out.write(output.data(), static_cast<std::streamsize>(output.size()));
    out.flush();
    if (!out) {
        err << "pelorin-client: cannot write standard output\n";
        return kExitLocalFile;
    }
    return kExitSuccess;
}

}  // namespace pelorin::tool
