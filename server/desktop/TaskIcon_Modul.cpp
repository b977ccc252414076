#include "server/desktop/TaskIcon_Modul.h"

#include <memory>
#include <utility>

#include "platform/Shell.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "server/MainCode.h"

namespace pelorin::TaskIcon_Modul {
namespace {

struct ModuleState {
    std::shared_ptr<TaskIcon> taskIcon;  // the loaded tray window, like a form's instance
    std::vector<platform::WindowHandle> remembered;
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

}  // namespace

bool LoadTaskIcon(TaskIcon::UnloadRoutine unloadRoutine) {
    // An instance whose window was closed from outside is unloaded: a new one takes over.
    if (State().taskIcon && State().taskIcon->IsLoaded()) return true;
    auto taskIcon = TaskIcon::Create(unloadRoutine != nullptr ? unloadRoutine : &UnloadRoutine);
    if (!taskIcon->Load()) return false;
    State().taskIcon = std::move(taskIcon);
    return true;
}

void UnloadTaskIcon() {
    // Taken out first: the instance counts as gone while its window unloads.
    const std::shared_ptr<TaskIcon> taskIcon = std::exchange(State().taskIcon, nullptr);
    if (taskIcon) taskIcon->Unload();
}

TaskIcon* LoadedTaskIcon() {
    const std::shared_ptr<TaskIcon>& taskIcon = State().taskIcon;
    return taskIcon && taskIcon->IsLoaded() ? taskIcon.get() : nullptr;
}

void RememberWindow(platform::WindowHandle window) {
    State().remembered.push_back(window);
}

const std::vector<platform::WindowHandle>& RememberedWindows() {
    return State().remembered;
}

// A window closed while the program was in the tray is skipped: its handle may belong
// to another window by now.
void ShowFromTray() {
    UnloadTaskIcon();
    const std::vector<platform::WindowHandle> windows = std::exchange(State().remembered, {});
    for (const platform::WindowHandle window : windows) {
        if (!platform::WindowExists(window)) continue;
        platform::ShowForm(window, true);
        platform::SetForegroundWin(window);
        platform::BringWinToTop(window);
    }
}

}  // namespace pelorin::TaskIcon_Modul
