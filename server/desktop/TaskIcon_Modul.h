// Leaving the tray: the one tray window of the program and the windows to bring back
// when the program leaves the tray. Used on the program's user-interface thread only.
#pragma once

#include <vector>

#include "platform/Types.h"
#include "server/desktop/TaskIcon.h"

namespace pelorin::TaskIcon_Modul {

// Loads the tray window unless it is loaded; `unloadRoutine` is what its "Programm
// beenden" runs (the program's unload routine unless a caller says otherwise). True
// when the tray window is loaded afterwards.
bool LoadTaskIcon(TaskIcon::UnloadRoutine unloadRoutine = nullptr);
// Unloads the tray window (which removes the icon). Nothing when it is not loaded.
void UnloadTaskIcon();
// The loaded tray window; nullptr when none is loaded.
TaskIcon* LoadedTaskIcon();

// Windows that ShowFromTray shows and brings to the front, in the order added.
void RememberWindow(platform::WindowHandle window);
const std::vector<platform::WindowHandle>& RememberedWindows();

// Unloads the tray window, then shows each remembered window that still exists and
// brings it to the front, in order; the list is empty afterwards.
void ShowFromTray();

}  // namespace pelorin::TaskIcon_Modul
