// Requests from outside to end the program: Ctrl+C, a termination signal (SIGINT,
// SIGTERM on Linux), the console's close or break event on Windows. Each arrives as a
// close request for the program's main window, as if the user had closed it, so the
// program's own shutdown runs on its own thread.
#pragma once

#include "platform/Types.h"

namespace pelorin::platform {

// From now on a stop request posts kWmClose to `window` (a later call changes the
// window). A write beyond the file size limit no longer ends the program either: it
// fails as on a full disk. Call it on the thread that runs the message loop, before
// starting any other thread. False when the requests cannot be watched.
bool WatchStopRequests(WindowHandle window);

}  // namespace pelorin::platform
