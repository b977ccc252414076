// The procedural half of the event socket: the window procedure that turns socket
// notifications and connect time-outs into CSocket::WindowProc calls, the socket
// registry, the name and address helpers, and the English texts of socket errors.
// Its state (registry, host cache, name services) exists once per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MessageNumbers.h"
#include "net/SocketErrorText.h"  // SocketErrorText, the English texts of socket errors
#include "platform/Sockets.h"
#include "platform/Types.h"

namespace pelorin {

class CSocket;
class ADomainCache;

namespace SocketModule {

// The socket notification message of every CSocket notification window.
constexpr platform::MessageId kSocketMessage = messages::kSocketNotification;
// Notification masks: outgoing connections, and listening or accepted sockets.
constexpr std::uint32_t kConnectMask =  // 51
    platform::kFdRead | platform::kFdWrite | platform::kFdConnect | platform::kFdClose;
constexpr std::uint32_t kListenMask =  // 43
    platform::kFdRead | platform::kFdWrite | platform::kFdAccept | platform::kFdClose;
static_assert(kConnectMask == 51 && kListenMask == 43);
// Receiving works in pieces of at most this many bytes.
constexpr int kReceivePiece = 2000;

// --- The socket registry: every live CSocket in creation order. ---
void Register(const std::shared_ptr<CSocket>& socket);
// Removes the first entry that is this very object.
void Unregister(const CSocket& socket);
const std::vector<std::shared_ptr<CSocket>>& RegisteredSockets();

// --- Notification windows: the thread's count of live ones, for the socket library. ---
// True when this window is the first (the socket library is to be started).
bool AddLibraryUser();
// True when this was the last window (the socket library is to be cleaned up).
bool RemoveLibraryUser();
std::int32_t LibraryUserCount();

// The window procedure of every notification window. Never lets an error escape.
platform::LResult SocketWindowProc(platform::WindowHandle window, platform::MessageId message,
                                   platform::WParam wParam, platform::LParam lParam);
// Installs `procedure` (nullptr: SocketWindowProc) and returns the procedure it replaced.
platform::WindowProc SwapWindowProc(platform::WindowHandle window, platform::WindowProc procedure);

std::int16_t SelectEvent(platform::LParam lParam);
std::int16_t SelectError(platform::LParam lParam);

// --- Names and addresses (IPv4, network byte order, platform::kNoAddress = none). ---
std::string IpToText(std::uint32_t address);
// A dotted address, then the host cache, then a name lookup; kNoAddress when none works.
std::uint32_t ResolveHost(std::string_view host);
std::string HostNameOfAddress(std::uint32_t address);
std::string ResolveHostText(std::string_view name);
std::string LocalHostName();
// The n-th address (from 0) of the host as dotted text, or "".
std::string HostAddressAt(std::string_view name, std::int16_t n);
std::string PeerAddressText(platform::SocketHandle socket);
std::int32_t PeerPort(platform::SocketHandle socket);
std::string LocalAddressName(platform::SocketHandle socket);
std::int32_t LocalPortOf(platform::SocketHandle socket);

// The thread's shared host cache, created on first use.
ADomainCache& DomainCache();

// The name services the module asks. Tests replace them on their thread so that no
// lookup of an unknown name ever leaves the machine; nullptr members keep the system's.
struct NameServices {
    bool (*hostAddresses)(std::string_view name, std::vector<std::uint32_t>& addresses) = nullptr;
    bool (*addressName)(std::uint32_t address, std::string& name) = nullptr;
    bool (*localHostName)(std::string& name) = nullptr;
};
void SetNameServicesForTests(const NameServices& services);
// Back to the system's services, an empty cache and an empty registry (sockets still in
// it are cancelled first).
void ResetForTests();

}  // namespace SocketModule
}  // namespace pelorin
