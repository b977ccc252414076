#include "platform/StaleTemporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/TemporaryNames.h"

namespace pelorin::platform {
namespace {

// Deep enough for any store; a deeper tree is left as it is rather than walked without end.
constexpr int kMaxDepth = 64;

bool ProcessEnded(std::uint32_t process) {
    const auto pid = static_cast<pid_t>(process);
    if (pid <= 0) return false;
    if (pid == getpid()) return true;
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

std::string NativeFolder(std::string_view folder) {
    std::string native(folder);
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    while (native.size() > 1 && native.ends_with('/')) native.pop_back();
    return native;
}

// The lock on the temporary folder that this program holds; -1 before OpenTemporaryFolder.
int gLock = -1;

// A temporary of an earlier start: its new content goes, a file moved aside takes its
// item's name back when that is missing.
void RemoveEarlierStart(const std::string& dataFolder, const std::string& folder,
                        const std::string& name) {
    const TemporaryNameParts parts = TemporaryNameOf(name);
    if (parts.start.empty() || parts.start == StartIdentity()) return;
    const std::string path = folder + "/" + name;
    if (!parts.aside) {
        unlink(path.c_str());
        return;
    }
    const std::string own = dataFolder + NativeFolder(parts.item);
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, own.c_str(), RENAME_NOREPLACE) != 0) {
        unlink(path.c_str());
    }
}

void RemoveEarlierStarts(const std::string& dataFolder, const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* e = readdir(dir)) {
        if (e->d_type == DT_DIR) continue;
        RemoveEarlierStart(dataFolder, folder, e->d_name);
    }
    closedir(dir);
}

}  // namespace

// The lock is taken shared for the program's life; only a start that gets it exclusively
// (no other program works on this folder) may remove what it finds.
bool OpenTemporaryFolder(std::string_view dataFolder) {
    const std::string data = NativeFolder(dataFolder);
    const std::string folder = data + "/" + std::string(kTemporaryFolderName);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;  // no link
    const std::string lockPath = folder + "/" + std::string(kTemporaryLockName);
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) return false;
    if (flock(lock, LOCK_EX | LOCK_NB) == 0) RemoveEarlierStarts(data, folder);
    if (flock(lock, LOCK_SH) != 0) {
        close(lock);
        return false;
    }
    if (gLock >= 0) close(gLock);
    gLock = lock;
    SetTemporaryDataFolder(dataFolder);
    return true;
}

void CloseTemporaryFolder() {
    SetTemporaryDataFolder("");
    if (gLock >= 0) close(gLock);
    gLock = -1;
}

void RemoveStaleTemporaries(std::string_view folder) {
    RemoveIn(NativeFolder(folder), 0);
}

}  // namespace pelorin::platform
