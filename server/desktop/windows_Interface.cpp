#include "server/desktop/windows_Interface.h"

#include "platform/Shell.h"

namespace pelorin::windows_Interface {

void OpenURL(std::string_view address) {
    platform::OpenAddress(address);
}

}  // namespace pelorin::windows_Interface
