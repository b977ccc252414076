// Hidden windows and window procedures. A window belongs to the thread that created it:
// its messages, timers and socket notifications are delivered on that thread only.
#pragma once

#include <string>
#include <string_view>

#include "platform/Types.h"

namespace pelorin::platform {

// Creates a window that is never shown, owned by the calling thread. Its procedure is the
// default procedure until replaced. 0 on failure.
WindowHandle CreateHiddenWindow(std::string_view title);

// Destroys a window of the calling thread: its procedure gets kWmDestroy, its window
// timers stop, messages still queued for it are dropped. False for an unknown window.
bool DestroyWin(WindowHandle window);

bool WindowExists(WindowHandle window);

// Installs `proc` as the window procedure and returns the one it replaced (nullptr when
// the window does not exist). The returned value is only to be called through
// CallPreviousProc or installed again.
WindowProc ReplaceWindowProc(WindowHandle window, WindowProc proc);

// Calls a procedure obtained from ReplaceWindowProc.
LResult CallPreviousProc(WindowProc previous, WindowHandle window, MessageId message, WParam wParam,
                         LParam lParam);

// The system's default handling of a message.
LResult DefaultWindowProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam);

// One pointer-sized value per window, for the object behind it (0 until set).
void SetWindowData(WindowHandle window, std::intptr_t data);
std::intptr_t GetWindowData(WindowHandle window);

// Window caption or control text, as bytes.
bool SetWindowTextBytes(WindowHandle window, std::string_view text);
std::string GetWindowTextBytes(WindowHandle window);

}  // namespace pelorin::platform
