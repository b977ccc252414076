#include "server/CommandLine.h"

#include <algorithm>
#include <array>
#include <optional>

#include "PelorinVersion.h"
#include "base/Text.h"

namespace pelorin {
namespace {

struct SwitchWord {
    std::string_view word;
    SwitchKind kind;
    // The argument must be the word itself, not merely begin with it.
    bool whole = false;
};

// "DEBUGFILE" stands before "DEBUG", so it never also counts as "DEBUG". The words after
// START begin with none before them, so they take no argument away from those. One switch
// character is dropped before matching, so "--help" is matched as "-HELP". The help and
// version words end the program instead of starting the store, so they match whole: an
// argument that merely begins like them ("/Helpdesk", "version2") is ignored like any
// other unknown one, and a store under a service manager still starts.
constexpr std::array<SwitchWord, 12> kSwitchWords = {{
    {"DEBUGFILE", SwitchKind::DebugFile},
    {"DEBUG", SwitchKind::Debug},
    {"LOG", SwitchKind::Log},
    {"PROZESSINFO", SwitchKind::ProzessInfo},
    {"PORT", SwitchKind::Port},
    {"START", SwitchKind::Start},
    {"FOLDER", SwitchKind::Folder},
    {"?", SwitchKind::Help, true},
    {"HELP", SwitchKind::Help, true},
    {"-HELP", SwitchKind::Help, true},
    {"VERSION", SwitchKind::Version, true},
    {"-VERSION", SwitchKind::Version, true},
}};

constexpr std::string_view kHelp =
    "Switches, with or without a leading /, - or \\, in any letter case:\n"
    "/PORTn: the port box holds n when the window loads (88 without it)\n"
    "/START: presses \"start server\" once the window is shown\n"
    "/FOLDER=folder: the folder for the data folder, log.txt and the diagnostics files, "
    "made when missing (the program's own folder without it)\n"
    "/LOGn: n = 2 or 3 appends every log line to log.txt\n"
    "/DEBUG: the debug window (on Linux its lines go to standard error)\n"
    "/DEBUGFILE: the procedure stack file debugfile.prozesse\n"
    "/PROZESSINFO: the trace files debugfile.prozessinfo.n\n"
    "/?, /HELP, --help: this text\n"
    "/VERSION, --version: the version\n";

bool IsSwitchCharacter(char c) {
    return c == '\\' || c == '-' || c == '/';
}

Switch WithValue(SwitchKind kind, std::string_view value) {
    Switch result;
    if (kind == SwitchKind::Log) {
        const std::optional<std::int16_t> level = RoundToInt16(Val(value));
        if (!level) return result;  // beyond 16 bits: no level to set
        result.logLevel = *level;
    } else if (kind == SwitchKind::Port) {
        const std::string_view digits = TrimSpaces(value);
        if (!AllDigits(digits)) return result;
        result.portText = std::string(digits);
    } else if (kind == SwitchKind::Folder) {
        // "=" or ":" keeps "/FOLDERS" from naming the folder "S".
        if (value.size() < 2 || (value.front() != '=' && value.front() != ':')) return result;
        result.folder = std::string(value.substr(1));
    }
    result.kind = kind;
    return result;
}

}  // namespace

std::vector<std::string> SplitArguments(std::string_view commandLine) {
    const std::string_view line = TrimSpaces(commandLine);
    std::vector<std::string> arguments;
    std::string current;
    bool quoted = false;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '\\') {
            const std::size_t end = std::min(line.find_first_not_of('\\', i), line.size());
            const std::size_t run = end - i;
            const bool beforeQuote = end < line.size() && line[end] == '"';
            current.append(beforeQuote ? run / 2 : run, '\\');
            i = end;
            if (beforeQuote && run % 2 == 1) {
                current += '"';
                ++i;
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ' ' && !quoted) {
            if (!current.empty()) arguments.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
        ++i;
    }
    if (!current.empty()) arguments.push_back(std::move(current));
    return arguments;
}

Switch ReadSwitch(std::string_view argument) {
    if (!argument.empty() && IsSwitchCharacter(argument.front())) {
        argument = TrimSpaces(argument.substr(1));
    }
    const std::string upper = UpperCase(argument);
    for (const SwitchWord& candidate : kSwitchWords) {
        if (candidate.whole ? upper == candidate.word : StartsWith(upper, candidate.word)) {
            return WithValue(candidate.kind, argument.substr(candidate.word.size()));
        }
    }
    return {};
}

std::vector<Switch> ReadSwitches(std::string_view commandLine) {
    std::vector<Switch> switches;
    for (const std::string& argument : SplitArguments(commandLine)) {
        Switch found = ReadSwitch(argument);
        if (found.kind != SwitchKind::None) switches.push_back(std::move(found));
    }
    return switches;
}

std::string FilesFolderOf(const std::vector<Switch>& switches) {
    std::string folder;
    for (const Switch& found : switches) {
        if (found.kind == SwitchKind::Folder) folder = found.folder;
    }
    return folder;
}

std::string InformationOf(const std::vector<Switch>& switches) {
    const std::string version = "Pelorin " PELORIN_VERSION_TEXT;
    for (const Switch& found : switches) {
        if (found.kind == SwitchKind::Help) return version + "\n\n" + std::string(kHelp);
        if (found.kind == SwitchKind::Version) return version + "\n";
    }
    return {};
}

}  // namespace pelorin
