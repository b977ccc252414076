// The protocol is one datagram of "NAME=value" lines to the socket named in
// NOTIFY_SOCKET. Written here rather than taken from libsystemd: the program links
// nothing outside the C++ runtime, the build must not need systemd's headers, and the
// whole client side is a dozen lines.
#include "platform/ServiceManager.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace pelorin::platform {
namespace {

const char* NotifySocket() {
    const char* name = std::getenv("NOTIFY_SOCKET");
    return name != nullptr && (name[0] == '/' || name[0] == '@') && name[1] != '\0' ? name
                                                                                    : nullptr;
}

}  // namespace

bool ServiceManagerWaits() {
    return NotifySocket() != nullptr;
}

void TellServiceManager(std::string_view state) {
    const char* name = NotifySocket();
    if (name == nullptr) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(name);
    if (length >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, name, length);
    // A leading "@" names a socket in the abstract namespace, whose names start with NUL.
    if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
    const int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return;
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    // Nothing to do when the manager is gone: the program serves all the same.
    (void)sendto(s, state.data(), state.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&address), size);
    close(s);
}

}  // namespace pelorin::platform
