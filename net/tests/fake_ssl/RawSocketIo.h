// Plain send and receive on a socket handle, for the stand-in SSL library: it works on
// the socket itself, as a real one does, below the toolkit's platform layer.
#pragma once

#include <cstdint>

namespace fake_ssl {

int RawSend(std::intptr_t socket, const char* data, int length);
int RawRecv(std::intptr_t socket, char* buffer, int size);

}  // namespace fake_ssl
