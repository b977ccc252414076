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

void RemoveIn(const std::string& folder, int depth) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // not followed
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth < kMaxDepth) RemoveIn(path, depth + 1);
            continue;
        }
        const std::uint32_t process = TemporaryFileProcess(name);
        if (process != 0 && ProcessEnded(process)) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
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
