// Facts about the running program and its ways to tell the user something.
#pragma once

#include <string>
#include <string_view>

namespace pelorin::platform {

// The folder of the program file (symbolic links resolved) with its trailing separator.
std::string ProgramFolder();

// The command line without the program name, as one text. On Linux the arguments are
// joined as Windows programs would pass them on (JoinArguments of ArgumentQuoting.h).
std::string CommandLineArguments();

// A modal message box on Windows; "title: text" on standard error on Linux.
void ShowMessageBox(std::string_view text, std::string_view title);

// Information the user asked for: a modal message box on Windows; the text alone on
// standard output on Linux.
void ShowInformation(std::string_view text, std::string_view title);

// Lets the program hold as many open descriptors as its hard limit allows: on Linux the
// soft limit is raised to the hard one (the usual soft limit of 1,024 would let a
// thousand idle connections starve the store). Windows has no such limit: nothing.
void RaiseOpenFileLimit();

// One line for the developer's debug output (debugger output on Windows, standard error
// on Linux).
void WriteDebugOutput(std::string_view line);

}  // namespace pelorin::platform
