// The listening control's texts of Winsock error numbers: the descriptions of the Winsock
// control it stands in for, which the server's log shows ("Server_Error(...)",
// "Listen_Error(...)"). The toolkit's socket has a wording of its own
// (net/SocketErrorText.h); neither may take the other's without changing what callers and
// logs read.
#pragma once

#include <cstdint>
#include <string>

namespace pelorin {

// The text of a Winsock error number; "Socket error " and the number when it has none.
std::string WinsockControlErrorText(std::int32_t number);

}  // namespace pelorin
