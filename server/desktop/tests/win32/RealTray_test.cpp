// The tray window over the real shell, on a display: a right press on the icon shows the
// real menu, which a timer reads and works with the keyboard while it is open; a left
// release brings the program's window back.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/MessageQueue.h"
#include "platform/Shell.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "testing/TestLoop.h"
#include "platform/win32/Native.h"
#include "server/desktop/TaskIcon.h"
#include "server/desktop/TaskIcon_Modul.h"

namespace pelorin {
namespace {

using platform::win32::ToHwnd;

constexpr UINT kMnGetHMenu = 0x01E1;
constexpr int kMenuWaitTicks = 50;  // 50 ticks of 100 ms before the menu is given up

// What the timer found of the open menu, and what it did.
struct MenuWatch {
    std::vector<std::string> items;
    bool seen = false;
    int ticks = 0;
    bool chooseFirst = true;  // else dismiss
} gWatch;

HWND OpenMenuWindow() {
    HWND menu = FindWindowA("#32768", nullptr);
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

std::vector<std::string> ItemsOf(HWND menuWindow) {
    std::vector<std::string> items;
    auto menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, kMnGetHMenu, 0, 0));
    const int count = menu != nullptr ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count && i < 20; ++i) {
        char text[64] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        items.emplace_back((info.fType & MFT_SEPARATOR) != 0 ? "-" : text);
    }
    return items;
}

// Runs inside the menu's own message loop, which dispatches timer messages.
void CALLBACK WatchMenu(HWND, UINT, UINT_PTR id, DWORD) {
    ++gWatch.ticks;
    HWND menu = OpenMenuWindow();
    if (menu != nullptr && !gWatch.seen) {
        gWatch.seen = true;
        gWatch.items = ItemsOf(menu);
        if (gWatch.chooseFirst) {
            PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
        } else {
            PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        }
        return;
    }
    // The keys did not close it, or it never came: end it, so the test cannot hang.
    if (gWatch.ticks > kMenuWaitTicks) {
        EndMenu();
        KillTimer(nullptr, id);
    }
}

int gUnloads = 0;
void CountUnload() {
    ++gUnloads;
}

class RealTray : public ::testing::Test {
  protected:
    void SetUp() override {
        gWatch = MenuWatch{};
        program_ = platform::CreateForm({"Tray program", 120, 40, "", 8, nullptr});
        ASSERT_NE(program_, 0);
        ASSERT_TRUE(TaskIcon_Modul::LoadTaskIcon(&CountUnload));
        tray_ = TaskIcon_Modul::LoadedTaskIcon()->Window();
        TaskIcon_Modul::RememberWindow(program_);
    }
    void TearDown() override {
        TaskIcon_Modul::ShowFromTray();
        platform::DestroyWin(program_);
    }

    // What the shell sends when the user works the icon: the menu runs its own loop
    // inside, so this returns once the menu has closed.
    void Mouse(platform::LParam mouseMessage) {
        const UINT_PTR timer = SetTimer(nullptr, 0, 100, WatchMenu);
        platform::SendMsg(tray_, TaskIcon::kCallbackMessage, TaskIcon::kIconId, mouseMessage);
        KillTimer(nullptr, timer);
        testing::DrainQueue();
    }

    platform::WindowHandle program_ = 0;
    platform::WindowHandle tray_ = 0;
};

TEST_F(RealTray, TheShellTakesTheIconAndTheWindowIsFoundByItsCaption) {
    EXPECT_EQ(reinterpret_cast<platform::WindowHandle>(FindWindowA(nullptr, "TaskIcon")), tray_);
    platform::NotifyIconData data;
    data.window = tray_;
    data.id = 7;
    data.flags = platform::kNifIcon | platform::kNifMessage | platform::kNifTip;
    data.callbackMessage = TaskIcon::kCallbackMessage;
    data.icon = platform::ProgramIcon();
    data.tip = "second icon";
    EXPECT_TRUE(platform::NotifyIcon(platform::NotifyAction::Add, data));
    EXPECT_TRUE(platform::NotifyIcon(platform::NotifyAction::Delete, data));
}

TEST_F(RealTray, RightPressShowsTheMenuAndZeigenBringsTheProgramBack) {
    Mouse(platform::kWmRButtonDown);
    ASSERT_TRUE(gWatch.seen) << "no menu window appeared";
    EXPECT_EQ(gWatch.items,
              (std::vector<std::string>{"Zeigen", "Homepage", "-", "Programm beenden"}));
    EXPECT_EQ(TaskIcon_Modul::LoadedTaskIcon(), nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "TaskIcon"), nullptr);
    EXPECT_TRUE(IsWindowVisible(ToHwnd(program_)));
    EXPECT_EQ(gUnloads, 0);
}

TEST_F(RealTray, DismissedMenuLeavesTheIconAndLeftReleaseRestores) {
    gWatch.chooseFirst = false;
    Mouse(platform::kWmRButtonDown);
    ASSERT_TRUE(gWatch.seen) << "no menu window appeared";
    EXPECT_NE(TaskIcon_Modul::LoadedTaskIcon(), nullptr);
    EXPECT_FALSE(IsWindowVisible(ToHwnd(program_)));

    Mouse(platform::kWmLButtonUp);
    EXPECT_EQ(TaskIcon_Modul::LoadedTaskIcon(), nullptr);
    EXPECT_FALSE(IsWindow(ToHwnd(tray_)));
    EXPECT_TRUE(IsWindowVisible(ToHwnd(program_)));
    EXPECT_EQ(GetForegroundWindow(), ToHwnd(program_));
}

}  // namespace
}  // namespace pelorin
