#include "net/tests/fake_ssl/RawSocketIo.h"

#include <sys/socket.h>

namespace fake_ssl {

int RawSend(std::intptr_t socket, const char* data, int length) {
    return static_cast<int>(
        send(static_cast<int>(socket), data, static_cast<std::size_t>(length), MSG_NOSIGNAL));
}

int RawRecv(std::intptr_t socket, char* buffer, int size) {
    return static_cast<int>(
        recv(static_cast<int>(socket), buffer, static_cast<std::size_t>(size), 0));
}

}  // namespace fake_ssl
