#include "net/WinMessages.h"

#include "net/WinMessages_Modul.h"

namespace pelorin {

std::shared_ptr<WinMessages> WinMessages::Create() {
    return std::shared_ptr<WinMessages>(new WinMessages);
}

// Only reached while hooked when the registry has already let go (the window was
// destroyed), so this finds nothing to restore; it keeps the rule that an ended object
// never leaves a window pointing at it.
WinMessages::~WinMessages() {
    Unhook();
}

void WinMessages::Hook() {
    if (hooked_) return;
    WinMessages_Modul::AddHook(shared_from_this());
    hooked_ = true;  // only once the window is really watched
}

void WinMessages::Unhook() {
    if (!hooked_) return;
    hooked_ = false;
    WinMessages_Modul::RemoveHook(*this);
}

void WinMessages::RaiseEvent_WinMessage(platform::WindowHandle window, platform::MessageId uMsg,
                                        platform::WParam wParam, platform::LParam lParam) {
    if (events_ != nullptr) events_->WinMessage(*this, window, uMsg, wParam, lParam);
}

}  // namespace pelorin
