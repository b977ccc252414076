// IPv4 TCP sockets with Winsock's notification model on both platforms.
//
// Calls answer like Winsock: kSocketError (or kInvalidSocket) on failure, with the reason
// in LastSocketError() as a Winsock error number.
//
// RequestNotifications (WSAAsyncSelect) makes the socket non-blocking and posts `message`
// to `window` with wParam = socket and lParam = MakeSelectLParam(event, error). An event
// is posted once and then stays quiet until re-enabled:
//   kFdRead    data arrived; again after a ReceiveBytes that leaves data behind, or when
//              new data arrives after one that emptied the socket
//   kFdWrite   the connection is established (connect or accept), and again only after a
//              SendBytes was refused with kWsaEWouldBlock and space became free
//   kFdAccept  a connection is waiting; again after AcceptSocket while more are waiting
//   kFdConnect a connection attempt ended; the error part says how (0 = connected)
//   kFdClose   the peer closed (error 0, once all data has been read) or reset the
//              connection (kWsaEConnReset); once
// Events whose condition already holds when the request is made are posted at once. An
// accepted socket inherits the listener's request. Closing a socket ends its
// notifications; messages already queued stay queued.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Types.h"

namespace pelorin::platform {

// An IPv4 address in network byte order and a port in host byte order.
struct Ipv4Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;  // inet_addr's "not an address"

// Start and stop the socket library (counted, like WSAStartup/WSACleanup). 0 or an error.
int SocketLibraryStartup();
void SocketLibraryCleanup();

int LastSocketError();

SocketHandle OpenTcpSocket();  // blocking until notifications are requested
int CloseSocket(SocketHandle socket);
int BindSocket(SocketHandle socket, const Ipv4Endpoint& local);
int ListenSocket(SocketHandle socket, int backlog);
SocketHandle AcceptSocket(SocketHandle listener, Ipv4Endpoint* peer);
// For a listener whose AcceptSocket failed with kWsaEMFile: takes the next waiting
// connection and closes it at once, so that its peer learns at once, instead of being
// reported again and again while it waits. Linux keeps one descriptor in reserve for
// this from the first listen on, gives it up for the accept and takes it back. 0, or
// kSocketError where that cannot be done (Windows has no descriptor to give up).
int RefuseWaitingConnection(SocketHandle listener);
// A non-blocking socket answers kSocketError with kWsaEWouldBlock and ends with kFdConnect.
int ConnectSocket(SocketHandle socket, const Ipv4Endpoint& remote);
int SendBytes(SocketHandle socket, const char* data, int length);
// SendBytes over the pieces as if they were one: the bytes taken from the front, or
// kSocketError. With `more` set the system may hold back a partly filled packet until
// more bytes follow, so that pieces sent in a row leave together; PushSentBytes sends
// what was held back. (Windows has no such hint: there both send at once.)
int SendPieces(SocketHandle socket, const std::string_view* pieces, int count, bool more);
int PushSentBytes(SocketHandle socket);
// Sends up to `length` bytes of `file` from `offset`, as SendBytes would send them: the
// bytes taken, or kSocketError. 0 when the file holds nothing at `offset` (it shrank).
// Linux sends from the file's descriptor; Windows reads a piece and sends it (a piece
// the socket took only part of is read again next time).
int SendFromFile(SocketHandle socket, const ReadableFile& file, std::uint64_t offset, int length);
int ReceiveBytes(SocketHandle socket, char* buffer, int length);
// Bytes that have arrived and wait to be received; 0 when there are none or it is unknown.
int UnreadBytes(SocketHandle socket);
// Refused with kWsaEInval while notifications are requested (mask not 0).
int SetSocketBlocking(SocketHandle socket, bool blocking);
int RequestNotifications(SocketHandle socket, WindowHandle window, MessageId message,
                         std::uint32_t mask);
int PeerEndpoint(SocketHandle socket, Ipv4Endpoint& peer);
int LocalEndpoint(SocketHandle socket, Ipv4Endpoint& local);

// Name and address services.
std::uint32_t ParseDottedAddress(std::string_view text);  // kNoAddress when not dotted
std::string DottedAddressText(std::uint32_t address);
// The host's IPv4 addresses in the system's order; false (and LastSocketError) if unknown.
bool LookupHostAddresses(std::string_view name, std::vector<std::uint32_t>& addresses);
bool LookupAddressName(std::uint32_t address, std::string& name);
bool LocalHostName(std::string& name);

}  // namespace pelorin::platform
