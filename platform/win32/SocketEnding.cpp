#include "platform/SocketEnding.h"

#include <winsock2.h>

namespace pelorin::platform {

int ShutdownSending(SocketHandle socket) {
    return shutdown(static_cast<SOCKET>(socket), SD_SEND);
}

// Winsock tells what waits unread, but not what is still on its way out.
bool CloseMayLoseData(SocketHandle) {
    return true;
}

}  // namespace pelorin::platform
