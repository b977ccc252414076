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
// whole line are ignored. Backslashes are taken as Windows programs take them: before a
// double quote, 2n of them give n and the quote toggles, 2n+1 give n and a quote that
// belongs to the argument; anywhere else each is itself. platform::QuoteArgument writes
// an argument so that this gives it back.
std::vector<std::string> SplitArguments(std::string_view commandLine);

enum class SwitchKind {
    None,         // matches no switch word, or its value is unusable: ignored
    DebugFile,    // the procedure stack file
    Debug,        // the debug window
    Log,          // the log level in `logLevel`
    ProzessInfo,  // the trace files
    Port,         // the port box text in `portText`, set before the window loads
    Start,        // presses "start server" once the window is shown
    Folder,       // the folder of the program's files in `folder`
    Help,         // shows the switches instead of starting
    Version,      // shows the version instead of starting
};

struct Switch {
    SwitchKind kind = SwitchKind::None;
    std::int16_t logLevel = 0;
    std::string portText;
    std::string folder;
};

// One argument read as a switch: one leading "\", "-" or "/" is dropped (and then the
// spaces around the rest); the upper-cased rest matches a switch word when it begins with
// it, tried in the order DEBUGFILE, DEBUG, LOG, PROZESSINFO, PORT, START, FOLDER, then
// "?", HELP, -HELP, VERSION, -VERSION (so "--help" and "--version" count), and the first
// match wins, so DEBUGFILE is never also DEBUG; no other word begins with another one.
// The help and version words count only as the whole argument ("/Helpdesk" is none).
// "LOG" takes the number
// after its three letters (none gives 0); a number outside 16 bits drops the switch.
// "PORT" needs the digits of a port after it. "FOLDER" needs "=" or ":" and a folder
// after it, taken as written (letter case, spaces and all).
Switch ReadSwitch(std::string_view argument);

// The switches of a whole command line, in order, unmatched arguments left out.
std::vector<Switch> ReadSwitches(std::string_view commandLine);

// The folder of the program's files that the switches name (the last FOLDER switch), or
// "" when none does: then it is the program's own folder.
std::string FilesFolderOf(const std::vector<Switch>& switches);

// What the first HELP or VERSION switch asks to show instead of starting: the switches
// and what they do, or "Pelorin " and the version. "" when there is neither.
std::string InformationOf(const std::vector<Switch>& switches);

}  // namespace pelorin
