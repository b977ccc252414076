#include "platform/SocketEnding.h"

#include <winsock2.h>

namespace pelorin::platform {

int ShutdownSending(SocketHandle socket) {
    return shutdown(static_cast<SOCKET>(socket), SD_SEND);
}

namespace {

int SetLinger(SocketHandle socket, const linger& value) {
    return setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_LINGER,
                      reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

int ResetOnClose(SocketHandle socket) {
    return SetLinger(socket, linger{1, 0});
}

int EndOnClose(SocketHandle socket) {
    return SetLinger(socket, linger{0, 0});
}

// Winsock tells what waits unread, but not what is still on its way out.
bool CloseMayLoseData(SocketHandle) {
    return true;
}

}  // namespace pelorin::platform
