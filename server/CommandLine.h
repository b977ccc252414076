// The server program's command line: its arguments and the switches they hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// Splits a command line into arguments: a double quote toggles quoting and is dropped, a
// space outside quotes ends a non-empty argument (runs of spaces make no empty ones), any
// other character belongs to the current argument. Leading and trailing spaces of the
// whole line are ignored.
std::vector<std::string> SplitArguments(std::string_view commandLine);

enum class SwitchKind {
    None,         // matches no switch word, or its value is unusable: ignored
    DebugFile,    // the procedure stack file
    Debug,        // the debug window
    Log,          // the log level in `logLevel`
    ProzessInfo,  // the trace files
    Port,         // the port box text in `portText`, set before the window loads
    Start,        // presses "start server" once the window is shown
};

struct Switch {
    SwitchKind kind = SwitchKind::None;
    std::int16_t logLevel = 0;
    std::string portText;
};

// One argument read as a switch: one leading "\", "-" or "/" is dropped (and then the
// spaces around the rest); the upper-cased rest matches a switch word when it begins with
// it, tried in the order DEBUGFILE, DEBUG, LOG, PROZESSINFO, PORT, START, and the first
// match wins. "LOG" takes the number after its three letters (none gives 0); a number
// outside 16 bits drops the switch. "PORT" needs the digits of a port after it.
Switch ReadSwitch(std::string_view argument);

// The switches of a whole command line, in order, unmatched arguments left out.
std::vector<Switch> ReadSwitches(std::string_view commandLine);

}  // namespace pelorin
