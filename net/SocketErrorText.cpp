// The two tables of Winsock error texts, side by side; why there are two is told in the
// header.
#include "net/SocketErrorText.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace pelorin {
namespace {

struct ErrorText {
    std::int32_t number;
    std::string_view text;
};

// The toolkit socket's wording.
constexpr std::array<ErrorText, 51> kSocketTexts = {{
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Permission Denied."},
    {10014, "Bad Address."},
    {10022, "Invalid Argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on nonsocket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Protocol not available."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Can't assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Network dropped connection."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Can't send after socket shutdown."},
    {10059, "Too many references: can't splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty."},
    {10067, "Too many processes."},
    {10068, "Too many users."},
    {10069, "Disk quota exceeded."},
    {10070, "Stale NFS file handle."},
    {10071, "Too many levels of remote in path."},
    {10091, "Network subsystem is unusable."},
    {10092, "Winsock DLL cannot support this application."},
    {10093, "Winsock not Initized."},
    {10101, "Disconnect."},
    {11001, "Host not found."},
    {11002, "Nonauthoritative host not found."},
    {11003, "Nonrecoverable error."},
    {11004, "Valid name, no data record of requested type."},
}};

// The listening control's wording, that of the Winsock control.
constexpr std::array<ErrorText, 11> kControlTexts = {{
    {10013, "Permission denied"},
    {10022, "Invalid argument"},
    {10024, "Too many open sockets"},
    {10048, "Address in use"},
    {10049, "Address not available"},
    {10053, "Connection is aborted due to timeout or other failure"},
    {10054, "Connection is reset by remote side"},
    {10055, "No buffer space is available"},
    {10057, "Socket is not connected"},
    {10058, "Socket has been shut down"},
    {10060, "Attempt to connect timed out"},
}};

const ErrorText* Find(std::span<const ErrorText> texts, std::int32_t number) {
    const auto it = std::find_if(texts.begin(), texts.end(),
                                 [number](const ErrorText& e) { return e.number == number; });
    return it != texts.end() ? &*it : nullptr;
}

}  // namespace

std::string SocketModule::SocketErrorText(std::int32_t number) {
    const ErrorText* found = Find(kSocketTexts, number);
    return found != nullptr ? std::string(found->text) : std::string();
}

std::string WinsockControlErrorText(std::int32_t number) {
    const ErrorText* found = Find(kControlTexts, number);
    return found != nullptr ? std::string(found->text) : "Socket error " + std::to_string(number);
}

}  // namespace pelorin
