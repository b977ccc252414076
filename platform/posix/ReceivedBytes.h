// What the sockets layer knows of a connection that the system would need a call to tell.
#pragma once

#include <cstdint>
#include <optional>

namespace pelorin::platform::posix {

// The bytes that ReceiveBytes took from the socket so far; none for an unknown socket.
std::optional<std::uint64_t> BytesReceivedFrom(int fd);

}  // namespace pelorin::platform::posix
