// Winsock itself: the neutral calls are its own, so this is a pass-through.
#include "platform/Sockets.h"
#include "platform/ThreadState.h"
#include "platform/win32/Native.h"

#include <winsock2.h>

#include <windows.h>  // after winsock2.h: a windows.h that pulled in winsock.h would clash

#include <algorithm>
#include <cstring>
#include <vector>

namespace pelorin::platform {
namespace {

SOCKET ToNative(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

// INVALID_SOCKET (all bits set) reads as kInvalidSocket (-1).
SocketHandle FromNative(SOCKET socket) {
    return static_cast<SocketHandle>(socket);
}

sockaddr_in ToSockaddr(const Ipv4Endpoint& e) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(e.port);
    sa.sin_addr.s_addr = e.address;
    return sa;
}

Ipv4Endpoint FromSockaddr(const sockaddr_in& sa) {
    return Ipv4Endpoint{sa.sin_addr.s_addr, ntohs(sa.sin_port)};
}

using NameCall = int(WSAAPI*)(SOCKET, sockaddr*, int*);

int EndpointOf(NameCall call, SocketHandle socket, Ipv4Endpoint& endpoint) {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (call(ToNative(socket), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return kSocketError;
    endpoint = FromSockaddr(sa);
    return 0;
}

}  // namespace

// Version 1.1 is all that is used: stream sockets and window notifications.
int SocketLibraryStartup() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(1, 1), &data);
}

void SocketLibraryCleanup() {
    WSACleanup();
}

int LastSocketError() {
    return WSAGetLastError();
}

SocketHandle OpenTcpSocket() {
    return FromNative(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

int CloseSocket(SocketHandle socket) {
    return closesocket(ToNative(socket));
}

// No SO_REUSEADDR: on Windows it would let a second listener take the port. Windows
// binds over connections waiting out their time without it.
int BindSocket(SocketHandle socket, const Ipv4Endpoint& local) {
    const sockaddr_in sa = ToSockaddr(local);
    return bind(ToNative(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

int ListenSocket(SocketHandle socket, int backlog) {
    return listen(ToNative(socket), backlog);
}

SocketHandle AcceptSocket(SocketHandle listener, Ipv4Endpoint* peer) {
    sockaddr_in sa{};
    int len = sizeof sa;
    const SOCKET accepted = accept(ToNative(listener), reinterpret_cast<sockaddr*>(&sa), &len);
    if (accepted != INVALID_SOCKET && peer != nullptr) *peer = FromSockaddr(sa);
    return FromNative(accepted);
}

// Windows bounds sockets by memory, not by a count with a descriptor to spare.
int RefuseWaitingConnection(SocketHandle) {
    WSASetLastError(WSAEMFILE);
    return kSocketError;
}

int ConnectSocket(SocketHandle socket, const Ipv4Endpoint& remote) {
    const sockaddr_in sa = ToSockaddr(remote);
    return connect(ToNative(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

int SendBytes(SocketHandle socket, const char* data, int length) {
    return send(ToNative(socket), data, length, 0);
}

// One send per piece; a short or refused send ends the call.
int SendPieces(SocketHandle socket, const std::string_view* pieces, int count, bool /*more*/) {
    int total = 0;
    for (int i = 0; i < count; ++i) {
        const int length = static_cast<int>(pieces[i].size());
        const int sent = send(ToNative(socket), pieces[i].data(), length, 0);
        if (sent < 0) return total > 0 ? total : sent;
        total += sent;
        if (sent < length) break;
    }
    return total;
}

int PushSentBytes(SocketHandle /*socket*/) {
    return 0;
}

// One piece per call, through a buffer of the thread. A file that cannot be read fails
// the send as a connection aborted here would.
int SendFromFile(SocketHandle socket, const ReadableFile& file, std::uint64_t offset, int length) {
    constexpr int kPiece = 64 * 1024;
    struct Buffer {
        std::vector<char> bytes = std::vector<char>(kPiece);
    };
    std::vector<char>& buffer = ThreadState<Buffer>().bytes;
    std::size_t got = 0;
    if (file.ReadAt(offset, buffer.data(), static_cast<std::size_t>(std::clamp(length, 0, kPiece)),
                    got) != 0) {
        WSASetLastError(WSAECONNABORTED);
        return kSocketError;
    }
    if (got == 0) return 0;
    return send(ToNative(socket), buffer.data(), static_cast<int>(got), 0);
}

int ReceiveBytes(SocketHandle socket, char* buffer, int length) {
    return recv(ToNative(socket), buffer, length, 0);
}

int UnreadBytes(SocketHandle socket) {
    u_long unread = 0;
    return ioctlsocket(ToNative(socket), static_cast<long>(FIONREAD), &unread) == 0
               ? static_cast<int>(unread)
               : 0;
}

int SetSocketBlocking(SocketHandle socket, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(ToNative(socket), static_cast<long>(FIONBIO), &nonBlocking);
}

int RequestNotifications(SocketHandle socket, WindowHandle window, MessageId message,
                         std::uint32_t mask) {
    return WSAAsyncSelect(ToNative(socket), win32::ToHwnd(window), message,
                          static_cast<long>(mask));
}

int PeerEndpoint(SocketHandle socket, Ipv4Endpoint& peer) {
    return EndpointOf(getpeername, socket, peer);
}

int LocalEndpoint(SocketHandle socket, Ipv4Endpoint& local) {
    return EndpointOf(getsockname, socket, local);
}

std::uint32_t ParseDottedAddress(std::string_view text) {
    const std::string copy(text);
    return inet_addr(copy.c_str());
}

std::string DottedAddressText(std::uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    const char* text = inet_ntoa(a);
    return text != nullptr ? text : "";
}

bool LookupHostAddresses(std::string_view name, std::vector<std::uint32_t>& addresses) {
    addresses.clear();
    const std::string copy(name);
    const hostent* host = gethostbyname(copy.c_str());
    if (host == nullptr) return false;
    if (host->h_addrtype != AF_INET || host->h_length != sizeof(std::uint32_t)) {
        WSASetLastError(WSANO_DATA);
        return false;
    }
    // The list ends with a null entry; the bound only guards against a broken one.
    constexpr int kMaxAddresses = 1024;
    for (int i = 0; i < kMaxAddresses && host->h_addr_list[i] != nullptr; ++i) {
        std::uint32_t address = 0;
        std::memcpy(&address, host->h_addr_list[i], sizeof address);
        addresses.push_back(address);
    }
    return !addresses.empty();
}

bool LookupAddressName(std::uint32_t address, std::string& name) {
    const hostent* host =
        gethostbyaddr(reinterpret_cast<const char*>(&address), sizeof address, AF_INET);
    if (host == nullptr || host->h_name == nullptr) return false;
    name = host->h_name;
    return true;
}

bool LocalHostName(std::string& name) {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
    name = buffer;
    return true;
}

}  // namespace pelorin::platform
