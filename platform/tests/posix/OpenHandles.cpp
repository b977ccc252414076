#include "platform/tests/OpenHandles.h"

#include <dirent.h>

namespace pelorin::testing {

// The entries of /proc/self/fd, less the one the listing itself holds open.
std::size_t OpenHandleCount() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return 0;
    std::size_t count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count - 1;
}

}  // namespace pelorin::testing
