// The texts of Winsock error numbers, in the two wordings this system reports them in.
//
// Each side keeps the wording of the component it is: the toolkit's socket gives the
// sentences of the socket module's table to the owner of a CSocket (the web client passes
// them on to its caller); the server's listening control gives the descriptions of the
// Winsock control it stands in for, and those are what the server's log shows
// ("Server_Error(...)", "Listen_Error(...)"). Neither may take the other's wording without
// changing what callers and logs read, so both tables stand side by side instead.
#pragma once

#include <cstdint>
#include <string>

namespace pelorin {

namespace SocketModule {
// The toolkit socket's text of a Winsock error number; "" when the number has none.
std::string SocketErrorText(std::int32_t number);
}  // namespace SocketModule

// The listening control's text of a Winsock error number; "Socket error " and the number
// when it has none.
std::string WinsockControlErrorText(std::int32_t number);

}  // namespace pelorin
