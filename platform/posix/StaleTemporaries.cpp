#include "platform/StaleTemporaries.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace pelorin::platform {
namespace {

// Deep enough for any store; a deeper tree is left as it is rather than walked without end.
constexpr int kMaxDepth = 64;

bool ProcessEnded(std::uint32_t process) {
    const auto pid = static_cast<pid_t>(process);
    if (pid <= 0 || pid == getpid()) return false;
    return kill(pid, 0) != 0 && errno == ESRCH;
}

void RemoveIn(const std::string& folder, int depth) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {  // links to folders are not followed
            if (depth < kMaxDepth) RemoveIn(path, depth + 1);
        } else if (S_ISREG(st.st_mode)) {
            const std::uint32_t process = TemporaryFileProcess(name);
            if (process != 0 && ProcessEnded(process)) unlink(path.c_str());
        }
    }
    closedir(dir);
}

}  // namespace

void RemoveStaleTemporaries(std::string_view folder) {
    std::string native(folder);
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    while (native.size() > 1 && native.ends_with('/')) native.pop_back();
    RemoveIn(native, 0);
}

}  // namespace pelorin::platform
