// The server program's frame: the start routine, the command-line reading and the
// unload routine.
#pragma once

#include <string>
#include <string_view>

namespace pelorin {

// What the command line asks of the window, besides the diagnostic switches.
struct WindowOptions {
    std::string portText = "88";  // the port box before the window loads
    bool startServer = false;     // press "start server" once the window is shown
};

// Applies the command line's switches at once (the diagnostics ones through the debug
// module) and returns what they ask of the window. The folder, help and version switches
// are the start routine's, which reads them first.
WindowOptions ReadCommandLine(std::string_view commandLine);

// The whole program: the start routine, then the window's message loop until every
// window is unloaded. Returns the exit status: 0, also after showing the help or the
// version it was asked for; 1 when the window or the folder of its files cannot be made,
// or when a service manager waits for readiness and the first listen fails.
int RunServerProgram();

// Ends the program: logs "Unloading now...", sets Unloading, unloads every window (each
// runs its own unload handler), logs "Exit" and ends the message loop.
void UnloadRoutine();

}  // namespace pelorin
