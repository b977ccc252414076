#include "platform/StaleTemporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
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

// A file moved aside by a process that died before the new content took the file's name
// takes it back; when the name is taken meanwhile, the file moved aside is the older one
// and goes. Refusing to replace makes the check and the rename one step.
void RestoreOrRemove(const std::string& folder, const std::string& path, std::string_view item) {
    const std::string own = folder + "/" + std::string(item);
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, own.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno == EEXIST) unlink(path.c_str());
}

void TidyFile(const std::string& folder, const std::string& name) {
    const std::string path = folder + "/" + name;
    if (const std::uint32_t process = TemporaryFileProcess(name)) {
        if (ProcessEnded(process)) unlink(path.c_str());
        return;
    }
    const AsideFile aside = AsideFileOf(name);
    if (aside.process != 0 && ProcessEnded(aside.process))
        RestoreOrRemove(folder, path, aside.item);
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
            TidyFile(folder, name);
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
