// The program's real window is found by its caption among the windows of the started
// process and worked with the messages a user's typing and clicking produce.
#include "../ProgramRunner.h"

#include <windows.h>
// After windows.h; version 2 takes the memory counters from kernel32 itself.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <string>

namespace pelorin::testing {

struct ProgramRunner::Process {
    PROCESS_INFORMATION info{};
    HWND form = nullptr;
    std::optional<int> status;
};

namespace {

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK TakeServerWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (owner == search->processId && std::string(caption) == "Pelorin") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND ChildOfClass(HWND form, const char* className) {
    return form == nullptr ? nullptr : FindWindowExA(form, nullptr, className, nullptr);
}

}  // namespace

ProgramRunner::ProgramRunner() : process_(std::make_unique<Process>()) {}

ProgramRunner::~ProgramRunner() {
    if (process_->info.hProcess == nullptr) return;
    if (!process_->status) {
        TerminateProcess(process_->info.hProcess, 1);
        WaitForSingleObject(process_->info.hProcess, 5000);
    }
    CloseHandle(process_->info.hProcess);
    CloseHandle(process_->info.hThread);
}

bool ProgramRunner::Start(const std::string& programFile, const std::string& folder,
                          const std::string& arguments) {
    const std::string copy = folder + "Pelorin.exe";
    if (!CopyFileA(programFile.c_str(), copy.c_str(), FALSE)) return false;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE errors = CreateFileA((folder + "stderr.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = errors;
    std::string commandLine = "\"" + copy + "\" " + arguments;
    const BOOL started = CreateProcessA(copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, folder.c_str(), &startup, &process_->info);
    if (errors != INVALID_HANDLE_VALUE) CloseHandle(errors);
    if (!started) return false;
    WaitForInputIdle(process_->info.hProcess, 10000);
    for (int i = 0; i < 1000 && process_->form == nullptr; ++i) {
        Search search{process_->info.dwProcessId, nullptr};
        EnumWindows(TakeServerWindow, reinterpret_cast<LPARAM>(&search));
        process_->form = search.found;
        if (process_->form == nullptr) {
            if (Wait(10)) return false;
        }
    }
    return process_->form != nullptr;
}

bool ProgramRunner::TypePort(const std::string& port) {
    HWND box = ChildOfClass(process_->form, "Edit");
    return box != nullptr &&
           SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(port.c_str())) != 0;
}

bool ProgramRunner::PressButton() {
    HWND button = ChildOfClass(process_->form, "Button");
    if (button == nullptr) return false;
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
}

bool ProgramRunner::CloseWindow() {
    return process_->form != nullptr && PostMessageA(process_->form, WM_CLOSE, 0, 0) != 0;
}

std::string ProgramRunner::ButtonCaption() {
    HWND button = ChildOfClass(process_->form, "Button");
    char caption[64] = {};
    if (button != nullptr) GetWindowTextA(button, caption, sizeof caption);
    return caption;
}

bool ProgramRunner::RequestStop() {
    return CloseWindow();
}

std::optional<int> ProgramRunner::Wait(std::uint32_t timeoutMs) {
    if (process_->status) return process_->status;
    if (WaitForSingleObject(process_->info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_->info.hProcess, &code);
    process_->status = static_cast<int>(code);
    return process_->status;
}

std::optional<std::uint64_t> ProgramRunner::PeakResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process_->info.hProcess, &counters, sizeof counters)) {
        return std::nullopt;
    }
    return counters.PeakWorkingSetSize;
}

}  // namespace pelorin::testing
