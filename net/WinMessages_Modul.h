// The registry of watched windows and the window procedure that stands in for theirs.
// Once per process: a window's messages arrive on the thread that owns it, so the
// registry is shared by every thread and each window's entry is used by its own.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/Types.h"

namespace pelorin {

class WinMessages;

namespace WinMessages_Modul {

// Registers `object` for the window in its hwnd and puts HookWindowProc in place of the
// window's procedure. Throws RuntimeError 457 when the window is watched already and 5
// when it does not exist, before anything changes.
void AddHook(const std::shared_ptr<WinMessages>& object);

// Gives the window watched by `object` its previous procedure back and forgets the entry
// (and with it the registry's reference). Does nothing when `object` watches no window.
void RemoveHook(const WinMessages& object);

// The watched windows' procedure: the previous procedure answers, then the watching
// object raises WinMessage; the answer is the previous procedure's. Once a window is
// destroyed its entry is forgotten, since the system may give its handle to a new window.
platform::LResult HookWindowProc(platform::WindowHandle window, platform::MessageId message,
                                 platform::WParam wParam, platform::LParam lParam);

// The number of watched windows.
std::size_t HookCount();

}  // namespace WinMessages_Modul
}  // namespace pelorin
