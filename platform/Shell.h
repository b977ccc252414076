// The shell's notification area, pop-up menus, bringing a window to the front and opening
// an address. On Windows these are the system's own; on Linux, which has no tray, a
// stand-in keeps a record of what was asked. Every call goes through a replaceable
// backend, so tests watch the calls (and choose the menu answer) on both platforms and
// never open a real browser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace pelorin::platform {

using IconHandle = std::intptr_t;  // 0 = no icon

// What NotifyIcon does with the icon named by window and id.
enum class NotifyAction : std::uint32_t { Add = 0, Modify = 1, Delete = 2 };

// Which fields of NotifyIconData count.
constexpr std::uint32_t kNifMessage = 1;
constexpr std::uint32_t kNifIcon = 2;
constexpr std::uint32_t kNifTip = 4;

// The tip field holds this many bytes including its ending zero; longer tips are cut.
constexpr std::size_t kNotifyTipSize = 64;

// The first and smallest form of the shell's icon record: window, id, flags, callback
// message, icon and tip. (The system record's size field is filled by the backend: 88
// bytes in 32-bit programs, 104 in 64-bit ones, where the handles are 64 bits wide.)
struct NotifyIconData {
    WindowHandle window = 0;
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    MessageId callbackMessage = 0;
    IconHandle icon = 0;
    std::string tip;  // ANSI bytes, at most kNotifyTipSize - 1 of them reach the shell
};

// One item of a pop-up menu; the caption "-" makes a separator, which cannot be chosen.
struct MenuItem {
    int id = 0;  // non-zero for items that can be chosen
    std::string caption;
};

// The calls a backend serves. The system's backend is used unless another is set.
class ShellBackend {
  public:
    virtual ~ShellBackend() = default;
    virtual bool NotifyIcon(NotifyAction action, const NotifyIconData& data) = 0;
    // Shows the menu at the mouse position for `owner` and waits until the user chose an
    // item or dismissed the menu. Returns the chosen item's id, 0 for none.
    virtual int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items) = 0;
    virtual bool SetForegroundWin(WindowHandle window) = 0;
    virtual bool BringWinToTop(WindowHandle window) = 0;
    // Opens `address` with the program the user chose for it, in a normal window.
    virtual bool OpenAddress(std::string_view address) = 0;
    // The program's own icon (the first icon among its resources, else the system's
    // application icon). Never 0.
    virtual IconHandle ProgramIcon() = 0;
};

// Routes the calls below to `backend` (nullptr: the system's own again) and returns the
// backend that served until now. Process-wide; the caller keeps `backend` alive.
ShellBackend* UseShellBackend(ShellBackend* backend);

// The calls, served by the backend in use.
bool NotifyIcon(NotifyAction action, const NotifyIconData& data);
int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items);
bool SetForegroundWin(WindowHandle window);
bool BringWinToTop(WindowHandle window);
bool OpenAddress(std::string_view address);
IconHandle ProgramIcon();

// A backend that only records what was asked, in order, and answers every menu with
// `menuAnswer`. It is the Linux stand-in for the system's shell, and tests use it on
// both platforms.
class RecordingShell : public ShellBackend {
  public:
    struct IconCall {
        NotifyAction action = NotifyAction::Add;
        NotifyIconData data;
    };

    bool NotifyIcon(NotifyAction action, const NotifyIconData& data) override;
    int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items) override;
    bool SetForegroundWin(WindowHandle window) override;
    bool BringWinToTop(WindowHandle window) override;
    bool OpenAddress(std::string_view address) override;
    IconHandle ProgramIcon() override;

    // Every call as a short line ("icon add 1", "menu 4", "foreground 65540",
    // "top 65540", "open <address>"), in the order made.
    std::vector<std::string> journal;
    std::vector<IconCall> iconCalls;
    std::vector<std::vector<MenuItem>> menus;
    std::vector<std::string> addresses;
    int menuAnswer = 0;
    static constexpr IconHandle kIcon = 0x7001;  // what ProgramIcon answers
};

}  // namespace pelorin::platform
