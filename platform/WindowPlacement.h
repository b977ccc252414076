// Where a top-level window is and in which state it is shown, and the size of the screen it
// lives on. On Windows these are the real window and the real primary screen; on Linux they
// are the window model of the other window calls and a model screen whose size can be set
// (platform/posix/ModelScreen.h).
#pragma once

#include "platform/Types.h"
#include "platform/Ui.h"

namespace pelorin::platform {

// The numbers are those stored in position files: 0 normal, 1 minimised, 2 maximised.
enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// The primary screen in pixels (Linux: the model screen, 1024 by 768 unless set).
ScreenSize GetScreenSize();

// Normal for a window that does not exist.
WindowState GetWindowState(WindowHandle window);

// Minimises, maximises or restores the window. Visibility is left as it is: a hidden
// window stays hidden and shows in the new state when it is shown.
void SetWindowState(WindowHandle window, WindowState state);

// The bounds of the whole window (frame included) in its normal state, whatever state it
// is in now, in screen pixels. Zeros for a window that does not exist.
Bounds GetNormalBounds(WindowHandle window);

// Sets the normal-state bounds: a window in the normal state moves at once, a minimised
// or maximised one takes them when it is restored. State and visibility stay as they are.
// The bounds are applied as given, also off the screen or with a size of 0.
void SetNormalBounds(WindowHandle window, Bounds bounds);

}  // namespace pelorin::platform
