// The server window is a real window here: the user works with it, not with a terminal.
#include "platform/Console.h"

namespace pelorin::platform {

bool StartConsoleCommands(WindowHandle, MessageId) {
    return false;
}

bool TakeConsoleLine(std::string&) {
    return false;
}

void WriteConsoleLine(std::string_view) {}

}  // namespace pelorin::platform
