// Libraries loaded by name at run time, and the functions they export.
#pragma once

#include <string>
#include <string_view>

namespace pelorin::platform {

using LibraryHandle = void*;  // nullptr = none

// The file name of the shared library called `baseName` on this platform:
// "OpenSSL" gives "OpenSSL.dll" on Windows and "libOpenSSL.so" on Linux.
std::string SharedLibraryFileName(std::string_view baseName);

// Loads a library by file name, looked for in the program's own folder first and then
// along the system's search path. nullptr when it cannot be found or loaded.
LibraryHandle LoadDynamicLibrary(std::string_view fileName);

// The address of an exported function, nullptr when the library has none of that name.
void* LibraryFunction(LibraryHandle library, std::string_view name);

void FreeDynamicLibrary(LibraryHandle library);

}  // namespace pelorin::platform
