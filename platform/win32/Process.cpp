#include "platform/Process.h"

#include <windows.h>

namespace pelorin::platform {

// Paths may exceed MAX_PATH (long path support); the buffer grows until the name fits.
std::string ProgramFolder() {
    constexpr DWORD kLimit = 32768;  // the longest path Windows knows
    std::string path;
    for (DWORD size = MAX_PATH; size <= kLimit; size *= 2) {
        path.assign(size, '\0');
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), size);
        if (length == 0) return ".\\";
        if (length < size) {
            path.resize(length);
            return path.substr(0, path.find_last_of("\\/") + 1);
        }
    }
    return ".\\";
}

// The program name ends at the closing quote when it is quoted, else at the first blank.
std::string CommandLineArguments() {
    const std::string_view line = GetCommandLineA();
    std::size_t pos = 0;
    if (line.starts_with('"')) {
        const std::size_t close = line.find('"', 1);
        pos = close == std::string_view::npos ? line.size() : close + 1;
    } else {
        pos = line.find_first_of(" \t");
        if (pos == std::string_view::npos) pos = line.size();
    }
    pos = line.find_first_not_of(" \t", pos);
    return pos == std::string_view::npos ? std::string() : std::string(line.substr(pos));
}

void ShowMessageBox(std::string_view text, std::string_view title) {
    const std::string body(text);
    const std::string caption(title);
    MessageBoxA(nullptr, body.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

void ShowInformation(std::string_view text, std::string_view title) {
    const std::string body(text);
    const std::string caption(title);
    MessageBoxA(nullptr, body.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

// Debugger output shows each call's text as is; the line break keeps lines apart.
void WriteDebugOutput(std::string_view line) {
    const std::string text = std::string(line) + "\n";
    OutputDebugStringA(text.c_str());
}

// Sockets and handles are bounded by memory alone.
void RaiseOpenFileLimit() {}

}  // namespace pelorin::platform
