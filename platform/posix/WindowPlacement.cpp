// Placement over the window model: the record keeps the normal-state bounds and the state
// side by side, as Windows keeps a window's normal placement apart from its shown state.
#include "platform/WindowPlacement.h"

#include <mutex>

#include "platform/posix/ModelScreen.h"
#include "platform/posix/WindowRegistry.h"

namespace pelorin::platform {

using posix::WindowRecord;
using posix::WindowRegistry;

namespace {

std::mutex gScreenMutex;
ScreenSize gScreen = posix::kDefaultModelScreen;

}  // namespace

bool posix::SetModelScreenSize(ScreenSize size) {
    if (size.width <= 0 || size.height <= 0) return false;
    std::lock_guard lock(gScreenMutex);
    gScreen = size;
    return true;
}

ScreenSize GetScreenSize() {
    std::lock_guard lock(gScreenMutex);
    return gScreen;
}

WindowState GetWindowState(WindowHandle window) {
    WindowState state = WindowState::Normal;
    WindowRegistry::Instance().With(window, [&](WindowRecord& r) { state = r.state; });
    return state;
}

void SetWindowState(WindowHandle window, WindowState state) {
    WindowRegistry::Instance().With(window, [&](WindowRecord& r) { r.state = state; });
}

Bounds GetNormalBounds(WindowHandle window) {
    Bounds bounds;
    WindowRegistry::Instance().With(window, [&](WindowRecord& r) { bounds = r.bounds; });
    return bounds;
}

void SetNormalBounds(WindowHandle window, Bounds bounds) {
    WindowRegistry::Instance().With(window, [&](WindowRecord& r) { r.bounds = bounds; });
}

}  // namespace pelorin::platform
