// The private window-message numbers of both deliverables, in one place, so that a new
// one is chosen knowing the others. They sit beside the message queue's own types, below
// both the toolkit and the server's libraries, so that neither has to link the other for
// a number.
//
// A private number means something only to the window it is sent to, and each of these
// goes to windows of its own: the server window, the server's socket window, the toolkit
// sockets' notification windows, the tray window. Numbers need to differ only where they
// reach the same window. The toolkit's socket notification (2000) and the tray callback
// (0x4711) lie inside the socket window's range; that is harmless, since neither is ever
// sent to the socket window, and the socket window acts on a number of its range only for
// the socket it gave that number to.
#pragma once

#include "platform/Types.h"

namespace pelorin::messages {

// A line typed on the server program's console, to the server window.
constexpr platform::MessageId kConsoleLine = platform::kWmUser + 1;  // 0x0401

// The server's socket window: each socket it opens is given the next number of this range
// (and a closed connection that still lingers keeps one of its own), so that queued
// notifications of a closed socket cannot reach the one that reuses its handle.
constexpr platform::MessageId kSocketWindowFirst = platform::kWmUser + 0x100;  // 0x0500
constexpr platform::MessageId kSocketWindowCount = 0x7000;                     // to 0x74FF

// The socket notifications of every toolkit socket (CSocket) window.
constexpr platform::MessageId kSocketNotification = 2000;  // 0x07D0

// The tray icon's callback, to the tray window.
constexpr platform::MessageId kTrayCallback = 18193;  // 0x4711

}  // namespace pelorin::messages
