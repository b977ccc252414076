// The calling thread's message queue. Every thread that creates a window, sets a timer
// or requests socket notifications has one; its messages are only ever delivered to it.
//
// Retrieval order, as on Windows: messages sent from other threads are handled first,
// then posted messages in the order they were posted (socket notifications are posted
// messages), then timer messages, which are made only when nothing else is queued and
// never pile up (a timer that elapsed several times while the thread was busy gives one
// message). A quit request is seen once the queue is otherwise empty.
#pragma once

#include "platform/Types.h"

namespace pelorin::platform {

// Queues a message for the thread that owns `window` (window 0: the calling thread).
// False when the window does not exist.
bool PostMsg(WindowHandle window, MessageId message, WParam wParam, LParam lParam);

// Calls the window procedure of `window` and returns its answer. From the owning thread
// the call is direct; from another thread it waits until the owner has handled it.
// Returns 0 for a window that does not exist.
LResult SendMsg(WindowHandle window, MessageId message, WParam wParam, LParam lParam);

// Waits for the next message. False when it is the quit message.
bool GetMsg(Msg& out);

// Takes the next message if there is one (remove false: leaves it queued).
bool PeekMsg(Msg& out, bool remove = true);

// Hands a message to its window procedure, or a timer message without a window to its
// timer callback. Returns the procedure's answer; 0 when nobody takes it.
LResult DispatchMsg(const Msg& msg);

// Blocks until a message arrives that was not there when the queue was last looked at.
// Never spins: it sleeps in the system until a post, a socket event or a timer is due.
void WaitMsg();

// Asks the calling thread's loop to end: GetMsg answers false once the queue is empty.
void PostQuit(int exitCode);

// GetMsg and DispatchMsg until the quit message; returns the quit code.
int RunMessageLoop();

}  // namespace pelorin::platform
