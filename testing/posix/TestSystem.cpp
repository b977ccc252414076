#include "testing/TestSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

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

bool MakeSparseFile(const std::string& path, std::uint64_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool made = ftruncate(fd, static_cast<off_t>(size)) == 0;
    close(fd);
    if (!made) unlink(path.c_str());
    return made;
}

std::uint32_t OwnProcessNumber() {
    return static_cast<std::uint32_t>(getpid());
}

}  // namespace pelorin::testing
