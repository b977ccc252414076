// Keyboard commands for a program whose windows have no look of their own (Linux): the
// lines typed on the terminal it was started from. On Windows the windows are real and
// the user works with them instead.
#pragma once

#include <string>
#include <string_view>

#include "platform/Types.h"

namespace pelorin::platform {

// Starts taking lines from standard input when it is a terminal and the windows have no
// look of their own: each line posts `message` to `window`, and TakeConsoleLine hands it
// out on the window's thread. False when there is no such terminal; nothing is read then.
bool StartConsoleCommands(WindowHandle window, MessageId message);

// The oldest line not taken yet, without its line end; false when there is none.
bool TakeConsoleLine(std::string& line);

// One line for the user on the terminal (standard output); nothing where the windows are
// real.
void WriteConsoleLine(std::string_view line);

}  // namespace pelorin::platform
