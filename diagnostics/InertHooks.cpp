// The client library's diagnostics: the same hooks, doing nothing, and no text is ever
// wanted. The flag is kept (per thread, as all module state of the library)
// although nothing reads them.
#include "diagnostics/Hooks.h"

namespace pelorin {
namespace {
thread_local bool tDebugReady = false;
}  // namespace

void WriteLog(std::string_view) {}
void ObjectCreated(std::string_view) {}
void ObjectDestroyed(std::string_view) {}
void ProzessStart(std::string_view) {}
void ProzessEnd(std::string_view) {}
void ProzessInfo(std::string_view) {}
bool WriteLogWanted() {
    return false;
}
bool ProzessInfoWanted() {
    return false;
}

void SetDebugReady(bool ready) {
    tDebugReady = ready;
}
bool IsDebugReady() {
    return tDebugReady;
}

}  // namespace pelorin
