#include "server/CommandLine.h"

#include <array>
#include <optional>

#include "base/Text.h"

namespace pelorin {
namespace {

struct SwitchWord {
    std::string_view word;
    SwitchKind kind;
};

// "DEBUGFILE" stands before "DEBUG", so it never also counts as "DEBUG".
constexpr std::array<SwitchWord, 6> kSwitchWords = {{
    {"DEBUGFILE", SwitchKind::DebugFile},
    {"DEBUG", SwitchKind::Debug},
    {"LOG", SwitchKind::Log},
    {"PROZESSINFO", SwitchKind::ProzessInfo},
    {"PORT", SwitchKind::Port},
    {"START", SwitchKind::Start},
}};

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
    }
    result.kind = kind;
    return result;
}

}  // namespace

std::vector<std::string> SplitArguments(std::string_view commandLine) {
    std::vector<std::string> arguments;
    std::string current;
    bool quoted = false;
    for (const char c : TrimSpaces(commandLine)) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ' ' && !quoted) {
            if (!current.empty()) arguments.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
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
        if (StartsWith(upper, candidate.word)) {
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

}  // namespace pelorin
