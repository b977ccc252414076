// The close of a connection whose peer might otherwise lose the end of its answer.
//
// A connection closed while the peer's bytes wait unread, or while the peer still sends,
// is reset by the system, and the reset throws away what of the answer has not reached
// the peer yet. Such a connection is kept a little longer instead: its sending side ends
// (the peer reads the whole answer, then its end), whatever still arrives is dropped,
// and it closes once the peer closes, or after kLingerMs or kLingerBytes dropped. A
// connection with nothing on its way in either direction closes at once, and so does one
// whose last short packet the close itself can send.
//
// The lingering sockets belong to the thread; their notifications come to the window of
// the controls under message numbers of their own, and the window procedure passes them
// here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Types.h"

namespace pelorin {

inline constexpr std::uint32_t kLingerMs = 5000;
inline constexpr std::size_t kLingerBytes = 16u << 20;

// Closes `socket`, at once or once the peer has everything. `message` is a notification
// number no other socket uses; a timer of `window` with the socket as its id ends the
// wait.
void CloseWithoutLoss(platform::SocketHandle socket, platform::WindowHandle window,
                      platform::MessageId message);

// A notification or the timer of a lingering socket: handled and true, or false when
// `socket` is not lingering (under that message number).
bool OnLingeringNotification(platform::SocketHandle socket, platform::MessageId message,
                             std::uint32_t event);
bool OnLingeringTimer(platform::SocketHandle socket);

// Closes every lingering socket of the thread now (the window is going).
void CloseAllLingering();

// How many sockets of the thread linger now.
std::size_t LingeringCount();

}  // namespace pelorin
