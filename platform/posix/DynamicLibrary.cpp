#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include "platform/Process.h"

namespace pelorin::platform {

std::string SharedLibraryFileName(std::string_view baseName) {
    return "lib" + std::string(baseName) + ".so";
}

// dlopen looks in the program's folder only when told to, unlike Windows' loader.
LibraryHandle LoadDynamicLibrary(std::string_view fileName) {
    if (fileName.empty()) return nullptr;
    const std::string name(fileName);
    if (name.find('/') == std::string::npos) {
        const std::string local = ProgramFolder() + name;
        if (void* library = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
    }
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LibraryFunction(LibraryHandle library, std::string_view name) {
    if (library == nullptr) return nullptr;
    const std::string symbol(name);
    return dlsym(library, symbol.c_str());
}

void FreeDynamicLibrary(LibraryHandle library) {
    if (library != nullptr) dlclose(library);
}

}  // namespace pelorin::platform
