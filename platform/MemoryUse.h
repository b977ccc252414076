// How the program's memory is handed out, set once for a server.
#pragma once

namespace pelorin::platform {

// A server reads whole files of many megabytes into memory, one per answer. Without this
// each such buffer may get fresh pages from the system, and give them back, every time:
// clearing and mapping them costs more than the answer's bytes themselves. From now on
// large buffers are taken from, and given back to, memory the program keeps. Windows has
// no such switch: there it does nothing.
void KeepLargeBuffersForReuse();

}  // namespace pelorin::platform
