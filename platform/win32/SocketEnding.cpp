#include "platform/SocketEnding.h"

#include <winsock2.h>

namespace pelorin::platform {

int ShutdownSending(SocketHandle socket) {
    return shutdown(static_cast<SOCKET>(socket), SD_SEND);
}

int ResetOnClose(SocketHandle socket) {
    const linger reset{1, 0};
    return setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_LINGER,
                      reinterpret_cast<const char*>(&reset), sizeof reset);
}

// Winsock tells what waits unread, but not what is still on its way out.
bool CloseMayLoseData(SocketHandle) {
    return true;
}

}  // namespace pelorin::platform
