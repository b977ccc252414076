// What the in-process server knows about itself: its module handle and whether anything of
// it is still in use (live objects and class factory locks, across all threads).
#pragma once

#include <windows.h>

#include <string>

namespace pelorin::com {

void SetModuleHandle(HMODULE module);
HMODULE ModuleHandle();
// The full path of this DLL, for registration and for loading the embedded type library.
std::wstring ModulePath();

void AddModuleReference();
void ReleaseModuleReference();
bool ModuleInUse();

}  // namespace pelorin::com
