#include "server/http/LingeringClose.h"

#include <unordered_map>

#include "platform/SocketEnding.h"
#include "platform/Sockets.h"
#include "platform/Timers.h"

namespace pelorin {

using namespace platform;

namespace {

struct Lingering {
    WindowHandle window = 0;
    MessageId message = 0;
    std::size_t dropped = 0;
};

thread_local std::unordered_map<SocketHandle, Lingering> tLingering;

void Finish(SocketHandle socket) {
    const auto found = tLingering.find(socket);
    if (found == tLingering.end()) return;
    KillWindowTimer(found->second.window, static_cast<std::uintptr_t>(socket));
    tLingering.erase(found);
    CloseSocket(socket);
}

// Drops what has arrived. True when the wait is over: the peer closed, the connection
// failed, or enough was dropped. Each round drops bytes or ends, so it is bounded by
// kLingerBytes.
bool DropArrived(SocketHandle socket, Lingering& lingering) {
    char buffer[64 * 1024];
    for (;;) {
        const int got = ReceiveBytes(socket, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) return LastSocketError() != kWsaEWouldBlock;
        lingering.dropped += static_cast<std::size_t>(got);
        if (lingering.dropped >= kLingerBytes) return true;
    }
}

}  // namespace

void CloseWithoutLoss(SocketHandle socket, WindowHandle window, MessageId message) {
    const bool lingers = CloseMayLoseData(socket) && ShutdownSending(socket) == 0 &&
                         RequestNotifications(socket, window, message, kFdRead | kFdClose) == 0 &&
                         SetWindowTimer(window, static_cast<std::uintptr_t>(socket), kLingerMs);
    if (!lingers) {
        KillWindowTimer(window, static_cast<std::uintptr_t>(socket));
        CloseSocket(socket);
        return;
    }
    tLingering[socket] = Lingering{window, message, 0};
}

bool OnLingeringNotification(SocketHandle socket, MessageId message, std::uint32_t event) {
    const auto found = tLingering.find(socket);
    if (found == tLingering.end() || found->second.message != message) return false;
    if (event == kFdClose || (event == kFdRead && DropArrived(socket, found->second))) {
        Finish(socket);
    }
    return true;
}

bool OnLingeringTimer(SocketHandle socket) {
    if (!tLingering.contains(socket)) return false;
    Finish(socket);
    return true;
}

void CloseAllLingering() {
    while (!tLingering.empty()) Finish(tLingering.begin()->first);
}

std::size_t LingeringCount() {
    return tLingering.size();
}

}  // namespace pelorin
