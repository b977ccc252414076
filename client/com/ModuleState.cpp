#include "client/com/ModuleState.h"

#include <atomic>

namespace pelorin::com {
namespace {

HMODULE gModule = nullptr;
// Objects may live on several apartment threads, so the count is shared and atomic.
std::atomic<long> gReferences{0};

}  // namespace

void SetModuleHandle(HMODULE module) {
    gModule = module;
}

HMODULE ModuleHandle() {
    return gModule;
}

std::wstring ModulePath() {
    // Paths are at most 32767 characters; grow until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    while (path.size() <= 32768) {
        const DWORD length =
            GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
    return {};
}

void AddModuleReference() {
    ++gReferences;
}

void ReleaseModuleReference() {
    --gReferences;
}

bool ModuleInUse() {
    return gReferences.load() != 0;
}

}  // namespace pelorin::com
