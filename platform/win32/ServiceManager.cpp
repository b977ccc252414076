// Windows starts the program as a window program, never under a notifying service
// manager: nothing waits and nothing is told.
#include "platform/ServiceManager.h"

namespace pelorin::platform {

bool ServiceManagerWaits() {
    return false;
}

void TellServiceManager(std::string_view) {}

}  // namespace pelorin::platform
