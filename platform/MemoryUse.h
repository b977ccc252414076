// How the program's memory is handed out, set once for a server.
#pragma once

namespace pelorin::platform {

// A server whose log shows contents reads whole files and bodies of many megabytes into
// memory, one per request (it sends and stores them from files otherwise). Without this
// each such buffer may get fresh pages from the system, and give them back, every time:
// clearing and mapping them costs more than the bytes themselves. From now on
// large buffers are taken from, and given back to, memory the program keeps. Windows has
// no such switch: there it does nothing.
void KeepLargeBuffersForReuse();

}  // namespace pelorin::platform
