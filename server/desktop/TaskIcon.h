// The tray window: a window that is never shown and, while loaded, keeps the program's
// icon in the notification area. A left click on the icon brings the program back; a
// right click opens a small menu: show the program, open the maker's homepage, end the
// program. TaskIcon_Modul keeps the one loaded instance.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "net/WinMessages.h"
#include "platform/MessageNumbers.h"
#include "platform/Shell.h"
#include "platform/Types.h"

namespace pelorin {

// The page "Homepage" opens.
constexpr std::string_view kMakerHomepage = "https://pelorin.invalid/";

class TaskIcon : public std::enable_shared_from_this<TaskIcon>, private WinMessagesEvents {
  public:
    // `unloadRoutine` ends the program (the menu's "Programm beenden").
    using UnloadRoutine = void (*)();

    static constexpr std::uint32_t kIconId = 1;
    static constexpr platform::MessageId kCallbackMessage = messages::kTrayCallback;
    static constexpr std::string_view kTip = "Merrowin";
    static constexpr std::string_view kCaption = "TaskIcon";

    // The items of the menu MT_Popup ("Popup"), in their order.
    static constexpr int m_Zeigen = 1;    // "Zeigen"
    static constexpr int m_Homepage = 2;  // "Homepage"
    static constexpr int m_S1 = 3;        // separator "-"
    static constexpr int m_Ende = 4;      // "Programm beenden"

    static std::shared_ptr<TaskIcon> Create(UnloadRoutine unloadRoutine);
    ~TaskIcon() override;
    TaskIcon(const TaskIcon&) = delete;
    TaskIcon& operator=(const TaskIcon&) = delete;

    // Makes the window, adds the icon and starts watching the window's messages. False
    // when the window could not be made or watched; nothing is left behind then.
    bool Load();
    // Deletes the icon, stops watching and destroys the window. Nothing when not loaded.
    // A window closed from outside unloads the same way.
    void Unload();
    bool IsLoaded() const { return window_ != 0; }
    platform::WindowHandle Window() const { return window_; }

    // Adds, changes or deletes the icon `id` of this window: the icon, tip and message
    // given (non-zero, non-empty) count; all three add, none deletes, some change.
    void SetTrayIcon(std::uint32_t id, platform::IconHandle icon, platform::MessageId message,
                     std::string_view tip);
    void RemoveTrayIcon(std::uint32_t id);

    // The menu's items as a click runs them.
    void m_Zeigen_Click();
    void m_Homepage_Click();
    void m_Ende_Click();

  private:
    explicit TaskIcon(UnloadRoutine unloadRoutine) : unloadRoutine_(unloadRoutine) {}

    void WinMessage(WinMessages& sender, platform::WindowHandle hwnd, platform::MessageId uMsg,
                    platform::WParam wParam, platform::LParam lParam) override;
    void ShowPopup();
    void LeaveTray();
    platform::WindowHandle LetGoOfWindow();

    UnloadRoutine unloadRoutine_;
    platform::WindowHandle window_ = 0;
    std::shared_ptr<WinMessages> MyMessages;
    platform::NotifyIconData record_;  // kept between calls, as the shell's record
};

}  // namespace pelorin
