#include "server/desktop/TaskIcon.h"

#include <exception>
#include <string>
#include <vector>

#include "platform/Window.h"
#include "server/desktop/TaskIcon_Modul.h"
#include "server/desktop/windows_Interface.h"

namespace pelorin {

std::shared_ptr<TaskIcon> TaskIcon::Create(UnloadRoutine unloadRoutine) {
    return std::shared_ptr<TaskIcon>(new TaskIcon(unloadRoutine));
}

// An icon left in the notification area outlives the program as a dead icon until the
// mouse passes over it, so a tray window that is still loaded at the end removes it.
TaskIcon::~TaskIcon() {
    Unload();
}

bool TaskIcon::Load() {
    if (IsLoaded()) return true;
    window_ = platform::CreateHiddenWindow(kCaption);
    if (window_ == 0) return false;
    MyMessages = WinMessages::Create();
    SetTrayIcon(kIconId, platform::ProgramIcon(), kCallbackMessage, kTip);
    MyMessages->hwnd = window_;
    MyMessages->SetEvents(this);
    try {
        MyMessages->Hook();
    } catch (const std::exception&) {
        Unload();
        return false;
    }
    return true;
}

void TaskIcon::Unload() {
    if (!IsLoaded()) return;
    platform::DestroyWin(LetGoOfWindow());
}

// Deletes the icon and stops watching; what becomes of the window is the caller's matter.
platform::WindowHandle TaskIcon::LetGoOfWindow() {
    SetTrayIcon(kIconId, 0, 0, "");
    if (MyMessages) {
        MyMessages->Unhook();
        MyMessages->SetEvents(nullptr);
        MyMessages.reset();
    }
    const platform::WindowHandle window = window_;
    window_ = 0;
    return window;
}

void TaskIcon::SetTrayIcon(std::uint32_t id, platform::IconHandle icon, platform::MessageId message,
                           std::string_view tip) {
    record_.window = window_;
    record_.id = id;
    record_.flags = 0;
    if (icon != 0) {
        record_.flags |= platform::kNifIcon;
        record_.icon = icon;
    }
    if (!tip.empty()) {
        record_.flags |= platform::kNifTip;
        record_.tip = std::string(tip.substr(0, platform::kNotifyTipSize - 1));
    }
    if (message != 0) {
        record_.flags |= platform::kNifMessage;
        record_.callbackMessage = message;
    }
    constexpr std::uint32_t kAll = platform::kNifIcon | platform::kNifTip | platform::kNifMessage;
    platform::NotifyAction action = platform::NotifyAction::Modify;
    if (record_.flags == 0) action = platform::NotifyAction::Delete;
    if (record_.flags == kAll) action = platform::NotifyAction::Add;
    platform::NotifyIcon(action, record_);  // a failure leaves the program without icon
}

void TaskIcon::RemoveTrayIcon(std::uint32_t id) {
    record_.id = id;
    platform::NotifyIcon(platform::NotifyAction::Delete, record_);
}

// This window goes even when it is not the one TaskIcon_Modul loaded: the icon that was
// clicked must not stay behind.
void TaskIcon::LeaveTray() {
    const std::shared_ptr<TaskIcon> self = shared_from_this();
    Unload();
    TaskIcon_Modul::ShowFromTray();
}

void TaskIcon::m_Zeigen_Click() {
    LeaveTray();
}

void TaskIcon::m_Homepage_Click() {
    windows_Interface::OpenURL(kMakerHomepage);
}

// The icon goes with the tray window before the unload routine takes the program's
// other windows down.
void TaskIcon::m_Ende_Click() {
    const UnloadRoutine unloadRoutine = unloadRoutine_;
    LeaveTray();
    if (unloadRoutine != nullptr) unloadRoutine();
}

// Only the icon's callback message counts: wParam names the icon, lParam the mouse
// message. The restore runs on the button's release, so a double click restores on its
// first release already.
void TaskIcon::WinMessage(WinMessages&, platform::WindowHandle hwnd, platform::MessageId uMsg,
                          platform::WParam wParam, platform::LParam lParam) {
    // Closed from outside (a close message, say): the window goes as if unloaded, so the
    // icon must not stay behind as a dead one, and the tray counts as left.
    if (uMsg == platform::kWmDestroy && hwnd == window_) {
        LetGoOfWindow();
        return;
    }
    if (uMsg != kCallbackMessage || wParam != kIconId) return;
    const std::shared_ptr<TaskIcon> self = shared_from_this();  // unloading may drop it
    if (lParam == platform::kWmLButtonUp || lParam == platform::kWmLButtonDblClk) {
        LeaveTray();
    } else if (lParam == platform::kWmRButtonDown) {
        ShowPopup();
    }
}

void TaskIcon::ShowPopup() {
    static const std::vector<platform::MenuItem> kItems{
        {m_Zeigen, "Zeigen"}, {m_Homepage, "Homepage"}, {m_S1, "-"}, {m_Ende, "Programm beenden"}};
    switch (platform::TrackPopupMenu(window_, kItems)) {
        case m_Zeigen:
            m_Zeigen_Click();
            break;
        case m_Homepage:
            m_Homepage_Click();
            break;
        case m_Ende:
            m_Ende_Click();
            break;
        default:
            break;  // dismissed
    }
}

}  // namespace pelorin
