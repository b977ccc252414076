#include "platform/StaleTemporaries.h"

#include <windows.h>

#include <string>

#include "platform/TemporaryNames.h"

namespace pelorin::platform {
namespace {

// Deep enough for any store; a deeper tree is left as it is rather than walked without end.
constexpr int kMaxDepth = 64;

bool ProcessEnded(std::uint32_t process) {
    if (process == 0) return false;
    if (process == GetCurrentProcessId()) return true;
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (handle == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(handle, &code) && code != STILL_ACTIVE;
    CloseHandle(handle);
    return ended;
}

void Remove(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// A file moved aside by a process that died before the new content took the file's name
// takes it back; when the name is taken meanwhile, the file moved aside is the older one
// and goes. A rename that may not replace makes the check and the rename one step.
void RestoreOrRemove(const std::string& folder, const std::string& path, std::string_view item) {
    const std::string own = folder + "\\" + std::string(item);
    if (MoveFileExA(path.c_str(), own.c_str(), 0)) return;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) Remove(path);
}

void TidyFile(const std::string& folder, const std::string& name) {
    const std::string path = folder + "\\" + name;
    if (const std::uint32_t process = TemporaryFileProcess(name)) {
        if (ProcessEnded(process)) Remove(path);
        return;
    }
    const AsideFile aside = AsideFileOf(name);
    if (aside.process != 0 && ProcessEnded(aside.process))
        RestoreOrRemove(folder, path, aside.item);
}

void RemoveIn(const std::string& folder, int depth) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // not followed
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth < kMaxDepth) RemoveIn(folder + "\\" + name, depth + 1);
            continue;
        }
        TidyFile(folder, name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string WithoutTrailingSeparators(std::string_view folder) {
    std::string path(folder);
    while (path.size() > 3 && (path.ends_with('\\') || path.ends_with('/'))) path.pop_back();
    return path;
}

// The lock on the temporary folder that this program holds; none before OpenTemporaryFolder.
HANDLE gLock = INVALID_HANDLE_VALUE;

// A temporary of an earlier start: its new content goes, a file moved aside takes its
// item's name back when that is missing.
void RemoveEarlierStart(const std::string& dataFolder, const std::string& folder,
                        const std::string& name) {
    const TemporaryNameParts parts = TemporaryNameOf(name);
    if (parts.start.empty() || parts.start == StartIdentity()) return;
    const std::string path = folder + "\\" + name;
    if (!parts.aside || !MoveFileExA(path.c_str(), (dataFolder + parts.item).c_str(), 0)) {
        Remove(path);
    }
}

void RemoveEarlierStarts(const std::string& dataFolder, const std::string& folder) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        RemoveEarlierStart(dataFolder, folder, found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

bool LockRange(HANDLE file, DWORD flags) {
    OVERLAPPED at{};
    return LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

}  // namespace

// The lock is taken shared for the program's life; only a start that gets it exclusively
// (no other program works on this folder) may remove what it finds.
bool OpenTemporaryFolder(std::string_view dataFolder) {
    const std::string data = WithoutTrailingSeparators(dataFolder);
    const std::string folder = data + "\\" + std::string(kTemporaryFolderName);
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return false;
    }
    SetFileAttributesA(folder.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    const std::string lockPath = folder + "\\" + std::string(kTemporaryLockName);
    HANDLE lock = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (lock == INVALID_HANDLE_VALUE) return false;
    if (LockRange(lock, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY)) {
        RemoveEarlierStarts(data, folder);
        OVERLAPPED at{};
        UnlockFileEx(lock, 0, 1, 0, &at);
    }
    if (!LockRange(lock, LOCKFILE_FAIL_IMMEDIATELY) && !LockRange(lock, 0)) {
        CloseHandle(lock);
        return false;
    }
    if (gLock != INVALID_HANDLE_VALUE) CloseHandle(gLock);
    gLock = lock;
    SetTemporaryDataFolder(dataFolder);
    return true;
}

void CloseTemporaryFolder() {
    SetTemporaryDataFolder("");
    if (gLock != INVALID_HANDLE_VALUE) CloseHandle(gLock);
    gLock = INVALID_HANDLE_VALUE;
}

void RemoveStaleTemporaries(std::string_view folder) {
    RemoveIn(WithoutTrailingSeparators(folder), 0);
}

}  // namespace pelorin::platform
