// A command line split into arguments and read as switches. Quotes, the backslashes that
// escape them and the spaces between arguments are all that splitting drops; arguments
// quoted again split back the same; letter case never changes what a switch means; a
// switch is one its argument begins with, and carries a usable value.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Text.h"
#include "fuzz/FuzzInput.h"
#include "platform/ArgumentQuoting.h"
#include "server/CommandLine.h"

namespace pelorin::fuzz {
namespace {

std::size_t CountKept(std::string_view text) {
    std::size_t kept = 0;
    for (const char c : text) kept += (c != ' ' && c != '"' && c != '\\') ? 1 : 0;
    return kept;
}

// A folder keeps its letter case; the rest of a switch does not depend on it.
bool SameSwitch(const Switch& a, const Switch& b) {
    return a.kind == b.kind && a.logLevel == b.logLevel && a.portText == b.portText &&
           UpperCase(a.folder) == UpperCase(b.folder);
}

std::vector<std::string_view> WordsOf(SwitchKind kind) {
    switch (kind) {
        case SwitchKind::DebugFile:
            return {"DEBUGFILE"};
        case SwitchKind::Debug:
            return {"DEBUG"};
        case SwitchKind::Log:
            return {"LOG"};
        case SwitchKind::ProzessInfo:
            return {"PROZESSINFO"};
        case SwitchKind::Port:
            return {"PORT"};
        case SwitchKind::Start:
            return {"START"};
        case SwitchKind::Folder:
            return {"FOLDER=", "FOLDER:"};
        case SwitchKind::Help:
            return {"?", "HELP", "-HELP"};
        case SwitchKind::Version:
            return {"VERSION", "-VERSION"};
        case SwitchKind::None:
            break;
    }
    return {};
}

bool BeginsWithAWordOf(std::string_view text, SwitchKind kind) {
    const std::string upper = UpperCase(text);
    for (const std::string_view word : WordsOf(kind)) {
        if (upper.starts_with(word)) return true;
    }
    return false;
}

void CheckSwitch(const std::string& argument) {
    const Switch found = ReadSwitch(argument);
    Require(SameSwitch(found, ReadSwitch(UpperCase(argument))) &&
                SameSwitch(found, ReadSwitch(LowerCase(argument))),
            "letter case does not matter");
    if (found.kind == SwitchKind::None) {
        Require(found.logLevel == 0 && found.portText.empty() && found.folder.empty(),
                "no value without a switch");
        return;
    }
    std::string_view rest = argument;
    if (rest.front() == '\\' || rest.front() == '-' || rest.front() == '/') {
        rest = TrimSpaces(rest.substr(1));
    }
    Require(BeginsWithAWordOf(rest, found.kind), "the argument begins with its word");
    if (found.kind == SwitchKind::Help || found.kind == SwitchKind::Version) {
        const auto words = WordsOf(found.kind);
        Require(std::find(words.begin(), words.end(), UpperCase(rest)) != words.end(),
                "help and version are whole words");
    }
    if (found.kind == SwitchKind::Port) {
        Require(AllDigits(found.portText), "a port is digits");
        Require(rest.find(found.portText) != std::string_view::npos, "the port as written");
    }
    if (found.kind != SwitchKind::Log) Require(found.logLevel == 0, "a level only for LOG");
    if (found.kind == SwitchKind::Folder) {
        Require(!found.folder.empty() && rest.ends_with(found.folder), "the folder as written");
    } else {
        Require(found.folder.empty(), "a folder only for FOLDER");
    }
}

}  // namespace
}  // namespace pelorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pelorin;
    using namespace pelorin::fuzz;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> arguments = SplitArguments(line);

    std::string joined;
    for (const std::string& argument : arguments) {
        Require(!argument.empty(), "no empty argument");
        joined += argument;
        CheckSwitch(argument);
    }
    Require(CountKept(joined) == CountKept(line),
            "only quotes, backslashes and separating spaces go");
    Require(SplitArguments(platform::JoinArguments(arguments)) == arguments,
            "quoted arguments split back the same");

    const std::vector<Switch> switches = ReadSwitches(line);
    std::size_t next = 0;
    for (const std::string& argument : arguments) {
        const Switch found = ReadSwitch(argument);
        if (found.kind == SwitchKind::None) continue;
        Require(next < switches.size() && SameSwitch(switches[next], found),
                "the line's switches are its arguments' switches, in order");
        ++next;
    }
    Require(next == switches.size(), "no switch without its argument");
    return 0;
}
