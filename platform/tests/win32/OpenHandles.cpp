#include "platform/tests/OpenHandles.h"

#include <windows.h>

namespace pelorin::testing {

std::size_t OpenHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? count : 0;
}

}  // namespace pelorin::testing
