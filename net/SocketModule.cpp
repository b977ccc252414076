#include "net/SocketModule.h"

#include <algorithm>
#include <exception>

#include "base/Text.h"
#include "net/ADomainCache.h"
#include "net/CSocket.h"
#include "net/SslLibrary.h"
#include "platform/ThreadState.h"
#include "platform/Timers.h"
#include "platform/Window.h"

namespace pelorin::SocketModule {
namespace {

// Set once the thread's module state is gone: objects that outlive it (an owner held in
// a static, released at exit) then find an empty module instead of a destroyed one.
thread_local bool tStateGone = false;

struct ModuleState {
    std::vector<std::shared_ptr<CSocket>> registry;  // counted references until Cancel
    std::int32_t libraryUsers = 0;
    std::unique_ptr<ADomainCache> cache;
    NameServices services;

    ModuleState() = default;
    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;
    ~ModuleState() { tStateGone = true; }
};

ModuleState& State() {
    return platform::ThreadState<ModuleState>();
}

bool LookupHost(std::string_view name, std::vector<std::uint32_t>& addresses) {
    auto lookup = State().services.hostAddresses;
    return lookup != nullptr ? lookup(name, addresses)
                             : platform::LookupHostAddresses(name, addresses);
}

bool LookupName(std::uint32_t address, std::string& name) {
    auto lookup = State().services.addressName;
    return lookup != nullptr ? lookup(address, name) : platform::LookupAddressName(address, name);
}

// The socket's peer or local end; all zero when the system cannot tell.
platform::Ipv4Endpoint PeerOf(platform::SocketHandle socket) {
    platform::Ipv4Endpoint peer{};
    if (platform::PeerEndpoint(socket, peer) != 0) peer = {};
    return peer;
}

platform::Ipv4Endpoint LocalOf(platform::SocketHandle socket) {
    platform::Ipv4Endpoint local{};
    if (platform::LocalEndpoint(socket, local) != 0) local = {};
    return local;
}

std::shared_ptr<CSocket> FindSocket(platform::WParam handle) {
    std::shared_ptr<CSocket> found;
    if (tStateGone) return found;
    // When several objects hold the handle, the last one registered wins.
    for (const auto& socket : State().registry) {
        if (static_cast<platform::WParam>(socket->SocketHandle) == handle) found = socket;
    }
    return found;
}

// Drains the socket in pieces of at most kReceivePiece bytes, one WindowProc call each.
// `once`: a single piece. A receive that leaves data behind posts the next read
// notification itself (as Winsock does), so draining on every notification would queue
// one stale notification per piece: while a long answer streams in, the queue would grow
// with it.
void DrainReceived(CSocket& target, platform::SocketHandle socket, bool once = false) {
    const bool viaSsl = target.SSLHandle != 0;
    for (bool first = true; first || !once; first = false) {
        std::string piece(static_cast<std::size_t>(kReceivePiece), '\0');
        const int received = viaSsl
                                 ? SslLibrary::Recv(target.SSLHandle, piece.data(), kReceivePiece)
                                 : platform::ReceiveBytes(socket, piece.data(), kReceivePiece);
        if (received < 1) {
            // A receive that failed ends the connection as a reset does: the close that
            // follows must not pass for the peer's orderly end.
            if (received < 0 && !viaSsl && target.CloseError == 0) {
                const int error = platform::LastSocketError();
                if (error != platform::kWsaEWouldBlock) target.CloseError = error;
            }
            break;
        }
        piece.resize(static_cast<std::size_t>(received));
        target.WindowProc(CSocketEvent::kRead, piece);
        // A handler that closed the socket (or opened another one, which may have been
        // given the same handle) ends the loop; the new socket's data is not ours.
        if (target.SocketHandle != socket) break;
    }
    // The SSL library reads the socket itself, past the notification machinery; an empty
    // receive tells it the data was taken, so that the next arrival is reported again.
    if (viaSsl && target.SocketHandle == socket) {
        char none = 0;
        platform::ReceiveBytes(socket, &none, 0);
    }
}

void Notify(CSocket& target, platform::SocketHandle socket, std::int16_t event,
            std::int16_t error) {
    switch (event) {
        case CSocketEvent::kRead:
            // The SSL library reads the socket past the notifications: it is drained.
            DrainReceived(target, socket, target.SSLHandle == 0);
            break;
        case CSocketEvent::kWrite:
        case CSocketEvent::kAccept:
            target.WindowProc(event, {});
            break;
        case CSocketEvent::kConnected:
            if (error != 0) {
                target.WindowProc(CSocketEvent::kFailure, SocketErrorText(error));
            } else {
                target.WindowProc(CSocketEvent::kConnected, {});
            }
            break;
        case CSocketEvent::kClose:
            // A reset comes as a close that carries its error.
            if (error != 0) target.CloseError = error;
            // Winsock may post the close before the last data has been read; what is
            // still there goes to the owner first instead of going down with the socket.
            DrainReceived(target, socket);
            if (target.SocketHandle == socket) target.WindowProc(CSocketEvent::kClose, {});
            break;
        default:
            break;
    }
}

platform::LResult Dispatch(platform::WindowHandle window, platform::MessageId message,
                           platform::WParam wParam, platform::LParam lParam) {
    const std::int16_t event = SelectEvent(lParam);
    const std::int16_t error = SelectError(lParam);
    if (wParam == 0) return 0;
    const std::shared_ptr<CSocket> target = FindSocket(wParam);  // alive until we return
    if (!target) return 0;
    const auto socket = static_cast<platform::SocketHandle>(wParam);
    if (message == platform::kWmTimer) {
        platform::KillWindowTimer(window, wParam);
        if (target->State == CSocketState::kConnecting) {
            target->WindowProc(CSocketEvent::kFailure, "Timeout");
        }
        return 0;
    }
    if (message == kSocketMessage) {
        Notify(*target, socket, event, error);
        return 0;
    }
    if (target->WindowProcOld != nullptr) {
        return platform::CallPreviousProc(target->WindowProcOld, window, message, wParam, lParam);
    }
    return 0;
}

}  // namespace

void Register(const std::shared_ptr<CSocket>& socket) {
    if (tStateGone) return;
    State().registry.push_back(socket);
}

void Unregister(const CSocket& socket) {
    if (tStateGone) return;
    auto& registry = State().registry;
    auto it = std::find_if(registry.begin(), registry.end(),
                           [&](const auto& entry) { return entry.get() == &socket; });
    if (it != registry.end()) registry.erase(it);
}

const std::vector<std::shared_ptr<CSocket>>& RegisteredSockets() {
    return State().registry;
}

bool AddLibraryUser() {
    if (tStateGone) return false;
    return State().libraryUsers++ == 0;
}

bool RemoveLibraryUser() {
    if (tStateGone) return false;
    auto& users = State().libraryUsers;
    if (users <= 0) return false;
    return --users == 0;
}

std::int32_t LibraryUserCount() {
    return State().libraryUsers;
}

// Errors, including those of an owner's event handler, end here: the system never sees
// them, and the message is answered with 0.
platform::LResult SocketWindowProc(platform::WindowHandle window, platform::MessageId message,
                                   platform::WParam wParam, platform::LParam lParam) {
    try {
        return Dispatch(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

platform::WindowProc SwapWindowProc(platform::WindowHandle window, platform::WindowProc procedure) {
    return platform::ReplaceWindowProc(window, procedure != nullptr ? procedure : SocketWindowProc);
}

std::int16_t SelectEvent(platform::LParam lParam) {
    return static_cast<std::int16_t>(platform::LowWord(static_cast<std::uintptr_t>(lParam)));
}

std::int16_t SelectError(platform::LParam lParam) {
    return static_cast<std::int16_t>(platform::HighWord(static_cast<std::uintptr_t>(lParam)));
}

std::string IpToText(std::uint32_t address) {
    std::string text = platform::DottedAddressText(address);
    if (text.size() > 32) text.resize(32);
    return text;
}

std::uint32_t ResolveHost(std::string_view host) {
    std::uint32_t address = platform::ParseDottedAddress(host);
    if (address != platform::kNoAddress) return address;
    address = DomainCache().GetDomainIP(host);
    if (address != platform::kNoAddress) return address;
    std::vector<std::uint32_t> addresses;
    if (!LookupHost(host, addresses) || addresses.empty()) return platform::kNoAddress;
    address = addresses.front();
    DomainCache().AddDomain(host, address);
    return address;
}

std::string HostNameOfAddress(std::uint32_t address) {
    std::string name;
    if (!LookupName(address, name)) return {};
    if (name.size() > 256) name.resize(256);
    return name.substr(0, name.find('\0'));
}

std::string ResolveHostText(std::string_view name) {
    return IpToText(ResolveHost(name));
}

std::string LocalHostName() {
    std::string name;
    auto lookup = State().services.localHostName;
    const bool found = lookup != nullptr ? lookup(name) : platform::LocalHostName(name);
    if (!found) return {};
    name = name.substr(0, name.find('\0'));
    return std::string(TrimSpaces(name));
}

std::string HostAddressAt(std::string_view name, std::int16_t n) {
    if (n < 0) return {};
    std::vector<std::uint32_t> addresses;
    if (!LookupHost(name, addresses)) return {};
    const auto index = static_cast<std::size_t>(n);
    return index < addresses.size() ? platform::DottedAddressText(addresses[index]) : std::string();
}

std::string PeerAddressText(platform::SocketHandle socket) {
    return platform::DottedAddressText(PeerOf(socket).address);
}

std::int32_t PeerPort(platform::SocketHandle socket) {
    return PeerOf(socket).port;
}

std::string LocalAddressName(platform::SocketHandle socket) {
    return HostNameOfAddress(LocalOf(socket).address);
}

std::int32_t LocalPortOf(platform::SocketHandle socket) {
    return LocalOf(socket).port;
}

ADomainCache& DomainCache() {
    auto& cache = State().cache;
    if (!cache) cache = std::make_unique<ADomainCache>();
    return *cache;
}

void SetNameServicesForTests(const NameServices& services) {
    State().services = services;
}

void ResetForTests() {
    // Cancel removes the entry itself; work on a copy so that every socket is reached.
    const auto sockets = State().registry;
    for (const auto& socket : sockets) socket->Cancel();
    State().registry.clear();
    State().cache.reset();
    State().services = {};
}

}  // namespace pelorin::SocketModule
