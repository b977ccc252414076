// Ending a connection without losing what is still on its way to the peer.
//
// Closing a socket while bytes the peer sent wait unread, or while the peer still sends,
// makes the system reset the connection, and the reset throws away whatever of the last
// answer the peer has not received yet. A lingering close avoids that: end the sending
// side, read and drop what still comes until the peer closes, then close.
#pragma once

#include "platform/Types.h"

namespace pelorin::platform {

// Ends the sending side (shutdown for sending): the peer gets what was sent, then the
// end of the data; receiving goes on. 0 or kSocketError.
int ShutdownSending(SocketHandle socket);

// Makes the close of the socket reset the connection (a linger time of 0) instead of
// ending it: a peer of an answer without a length then learns that the answer it got is
// not whole. 0 or kSocketError.
int ResetOnClose(SocketHandle socket);
// Undoes ResetOnClose: the close ends the connection in order again, after what was sent.
// 0 or kSocketError.
int EndOnClose(SocketHandle socket);

// Whether closing at once could cost the peer data: bytes it sent wait unread, or bytes
// for it have not left yet and will not leave with the close itself. True where the
// system cannot tell.
bool CloseMayLoseData(SocketHandle socket);

}  // namespace pelorin::platform
