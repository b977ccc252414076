// The system's shell: the notification area through Shell_NotifyIconA, menus through
// TrackPopupMenu, addresses through ShellExecuteA.
#include "platform/Shell.h"

#include <windows.h>

#include <shellapi.h>  // needs windows.h first

#include <algorithm>
#include <cstring>

#include "platform/win32/Native.h"

namespace pelorin::platform {

using win32::ToHwnd;
namespace {

// The first form of the shell's icon record, which every shell takes. Its window and icon
// handles are pointer-sized, so its size differs by bitness.
static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 8 ? 104 : 88));
static_assert(sizeof(IconHandle) == sizeof(HICON));

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
    *reinterpret_cast<LPCSTR*>(found) = name;
    return FALSE;  // the first one is enough
}

HICON LoadProgramIcon() {
    HMODULE program = GetModuleHandleA(nullptr);
    LPCSTR first = nullptr;
    EnumResourceNamesA(program, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, TakeFirstName,
                       reinterpret_cast<LONG_PTR>(&first));
    HICON icon = first != nullptr ? LoadIconA(program, first) : nullptr;
    return icon != nullptr ? icon
                           : LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
}

class Win32Shell : public ShellBackend {
  public:
    bool NotifyIcon(NotifyAction action, const NotifyIconData& data) override {
        NOTIFYICONDATAA record{};
        record.cbSize = NOTIFYICONDATAA_V1_SIZE;
        record.hWnd = ToHwnd(data.window);
        record.uID = data.id;
        record.uFlags = data.flags;
        record.uCallbackMessage = data.callbackMessage;
        record.hIcon = reinterpret_cast<HICON>(data.icon);
        const std::size_t n = std::min(data.tip.size(), kNotifyTipSize - 1);
        std::memcpy(record.szTip, data.tip.data(), n);  // the rest stays zero
        return Shell_NotifyIconA(static_cast<DWORD>(action), &record) != FALSE;
    }

    int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items) override {
        HMENU menu = CreatePopupMenu();
        if (menu == nullptr) return 0;
        for (const MenuItem& item : items) {
            if (item.caption == "-") {
                AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            } else {
                AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(item.id), item.caption.c_str());
            }
        }
        POINT at{};
        GetCursorPos(&at);
        // A menu of a window that is not in the foreground does not close when the user
        // clicks elsewhere; the posted null message lets the menu's loop end cleanly.
        HWND hwnd = ToHwnd(owner);
        ::SetForegroundWindow(hwnd);
        const BOOL chosen = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                             at.x, at.y, 0, hwnd, nullptr);
        PostMessageA(hwnd, WM_NULL, 0, 0);
        DestroyMenu(menu);
        return static_cast<int>(chosen);
    }

    bool SetForegroundWin(WindowHandle window) override {
        return ::SetForegroundWindow(ToHwnd(window)) != FALSE;
    }

    bool BringWinToTop(WindowHandle window) override {
        return ::BringWindowToTop(ToHwnd(window)) != FALSE;
    }

    bool OpenAddress(std::string_view address) override {
        const std::string file(address);
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteA(nullptr, "open", file.c_str(), "", "", SW_SHOWNORMAL));
        return result > 32;  // 32 and below are error codes
    }

    IconHandle ProgramIcon() override {
        static const HICON icon = LoadProgramIcon();  // shared icons are never destroyed
        return reinterpret_cast<IconHandle>(icon);
    }
};

}  // namespace

// Never destroyed: a tray window still loaded when the program ends deletes its icon
// from a static destructor, which may run after this one's would have.
ShellBackend& SystemShell() {
    static Win32Shell* shell = new Win32Shell;
    return *shell;
}

}  // namespace pelorin::platform
