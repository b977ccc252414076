#include "platform/DynamicLibrary.h"

#include <windows.h>

namespace pelorin::platform {

std::string SharedLibraryFileName(std::string_view baseName) {
    return std::string(baseName) + ".dll";
}

// The system's search order starts with the program's folder.
LibraryHandle LoadDynamicLibrary(std::string_view fileName) {
    if (fileName.empty()) return nullptr;
    const std::string name(fileName);
    // No "cannot find the DLL" dialog: a missing library is an ordinary failure here.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(name.c_str());
    SetErrorMode(previous);
    return reinterpret_cast<LibraryHandle>(module);
}

void* LibraryFunction(LibraryHandle library, std::string_view name) {
    if (library == nullptr) return nullptr;
    const std::string symbol(name);
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(library), symbol.c_str());
    return reinterpret_cast<void*>(proc);
}

void FreeDynamicLibrary(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace pelorin::platform
