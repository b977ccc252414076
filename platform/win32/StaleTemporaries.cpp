#include "platform/StaleTemporaries.h"

#include <windows.h>

#include <string>

namespace pelorin::platform {
namespace {

// Deep enough for any store; a deeper tree is left as it is rather than walked without end.
constexpr int kMaxDepth = 64;

bool ProcessEnded(std::uint32_t process) {
    if (process == 0 || process == GetCurrentProcessId()) return false;
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

}  // namespace

void RemoveStaleTemporaries(std::string_view folder) {
    std::string path(folder);
    while (path.size() > 3 && (path.ends_with('\\') || path.ends_with('/'))) path.pop_back();
    RemoveIn(path, 0);
}

}  // namespace pelorin::platform
