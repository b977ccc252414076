// The toolkit socket's texts of Winsock error numbers: the sentences of the socket
// module's table, which the owner of a CSocket is given (the web client passes them on to
// its caller). The server's listening control has a wording of its own, that of the
// Winsock control it stands in for (server/http/WinsockErrorText.h); neither may take the
// other's without changing what callers and logs read.
#pragma once

#include <cstdint>
#include <string>

namespace pelorin {

namespace SocketModule {
// The toolkit socket's text of a Winsock error number; "" when the number has none.
std::string SocketErrorText(std::int32_t number);
}  // namespace SocketModule

}  // namespace pelorin
