#include "net/tests/fake_ssl/RawSocketIo.h"

#include <winsock2.h>

namespace fake_ssl {

int RawSend(std::intptr_t socket, const char* data, int length) {
    return send(static_cast<SOCKET>(socket), data, length, 0);
}

int RawRecv(std::intptr_t socket, char* buffer, int size) {
    return recv(static_cast<SOCKET>(socket), buffer, size, 0);
}

}  // namespace fake_ssl
