#include "platform/posix/SocketErrors.h"

#include <cerrno>

#include "platform/Sockets.h"

namespace pelorin::platform {
namespace posix {
namespace {
thread_local int tLastError = 0;
}

// Winsock's numbers are 10000 plus the BSD errno; Linux numbers its errors differently.
int WinsockErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return 0;
        case EINTR:
            return kWsaEIntr;
        case EBADF:
            return kWsaEBadF;
        case EACCES:
        case EPERM:
            return kWsaEAcces;
        case EFAULT:
            return kWsaEFault;
        case EINVAL:
            return kWsaEInval;
        case EMFILE:
        case ENFILE:
            return kWsaEMFile;
        case EAGAIN:
            return kWsaEWouldBlock;
        case EINPROGRESS:
            return kWsaEInProgress;
        case EALREADY:
            return kWsaEAlready;
        case ENOTSOCK:
            return kWsaENotSock;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EOPNOTSUPP:
            return 10045;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return kWsaEAddrInUse;
        case EADDRNOTAVAIL:
            return kWsaEAddrNotAvail;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return kWsaENetUnreach;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return kWsaEConnAborted;
        case ECONNRESET:
        case EPIPE:
            return kWsaEConnReset;
        case ENOBUFS:
        case ENOMEM:
        case ENOSPC:  // epoll: no more registrations allowed
            return kWsaENoBufs;
        case EISCONN:
            return kWsaEIsConn;
        case ENOTCONN:
            return kWsaENotConn;
        case ESHUTDOWN:
            return kWsaEShutdown;
        case ETOOMANYREFS:
            return 10059;
        case ETIMEDOUT:
            return kWsaETimedOut;
        case ECONNREFUSED:
            return kWsaEConnRefused;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return kWsaEHostUnreach;
        case ENOTEMPTY:
            return 10066;
        case EUSERS:
            return 10068;
        case EDQUOT:
            return 10069;
        case ESTALE:
            return 10070;
        case EREMOTE:
            return 10071;
        default:
            return kWsaEInval;
    }
}

void SetLastSocketError(int winsockError) {
    tLastError = winsockError;
}

}  // namespace posix

int LastSocketError() {
    return posix::tLastError;
}

}  // namespace pelorin::platform
