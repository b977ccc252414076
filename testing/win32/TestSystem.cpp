#include "testing/TestSystem.h"

#include <windows.h>

namespace pelorin::testing {

std::size_t OpenHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? count : 0;
}

bool MakeSparseFile(const std::string& path, std::uint64_t size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    if (!made) DeleteFileA(path.c_str());
    return made;
}

std::uint32_t OwnProcessNumber() {
    return GetCurrentProcessId();
}

}  // namespace pelorin::testing
