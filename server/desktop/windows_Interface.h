// Opening an address with the program the user chose for it.
#pragma once

#include <string_view>

namespace pelorin::windows_Interface {

// Asks the shell to open `address` in a normal window. Whether it could is not
// reported: the user sees the page or the shell's own message.
void OpenURL(std::string_view address);

}  // namespace pelorin::windows_Interface
