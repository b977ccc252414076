// The tray window as a program uses it: the icon it keeps in the notification area, the
// icon's mouse messages, the menu's items and the order of things when the program ends.
// The shell is a recording one here, so no icon, menu or browser is really shown.
#include "server/desktop/TaskIcon.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diagnostics/Hooks.h"
#include "net/WinMessages_Modul.h"
#include "platform/MessageQueue.h"
#include "platform/Shell.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "server/desktop/TaskIcon_Modul.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

using namespace platform;
using Lines = std::vector<std::string>;

// The middle button's press, which the platform's message list has no name for.
constexpr LParam kMiddleDown = 519;

class TrayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gShell = &shell_;
        previous_ = UseShellBackend(&shell_);
        program_ = CreateForm({"Program", 100, 50, "", 8, nullptr});
        ASSERT_NE(program_, 0);
    }
    void TearDown() override {
        TaskIcon_Modul::ShowFromTray();  // unloads and empties the list
        UseShellBackend(previous_);
        gShell = nullptr;
        if (WindowExists(program_)) DestroyWin(program_);
        EXPECT_EQ(WinMessages_Modul::HookCount(), 0u);
    }

    // Loads the tray window with a recording unload routine; the journal starts empty.
    TaskIcon& Loaded() {
        EXPECT_TRUE(TaskIcon_Modul::LoadTaskIcon(&TrayTest::RecordUnload));
        TaskIcon* taskIcon = TaskIcon_Modul::LoadedTaskIcon();
        EXPECT_NE(taskIcon, nullptr);
        window_ = taskIcon->Window();
        shell_.journal.clear();
        shell_.iconCalls.clear();
        return *taskIcon;
    }

    // What the shell sends when the user works the icon.
    void Mouse(LParam mouseMessage, WParam iconId = TaskIcon::kIconId,
               MessageId message = TaskIcon::kCallbackMessage) {
        SendMsg(window_, message, iconId, mouseMessage);
    }

    // The unload routine's turn in the journal, with what it found of the tray window.
    static void RecordUnload() {
        const bool trayGone = TaskIcon_Modul::LoadedTaskIcon() == nullptr;
        gShell->journal.push_back(trayGone ? "unload" : "unload while the tray is loaded");
    }

    // `before`, then what ShowFromTray does to the remembered program window.
    Lines Restored(Lines before = {}) const {
        const std::string w = std::to_string(program_);
        before.insert(before.end(), {"icon delete 1", "foreground " + w, "top " + w});
        return before;
    }

    static inline RecordingShell* gShell = nullptr;
    RecordingShell shell_;
    ShellBackend* previous_ = nullptr;
    WindowHandle program_ = 0;
    WindowHandle window_ = 0;
};

TEST_F(TrayTest, LoadAddsTheIconAndUnloadDeletesIt) {
    ASSERT_TRUE(TaskIcon_Modul::LoadTaskIcon(&TrayTest::RecordUnload));
    TaskIcon* taskIcon = TaskIcon_Modul::LoadedTaskIcon();
    ASSERT_NE(taskIcon, nullptr);
    const WindowHandle window = taskIcon->Window();
    EXPECT_EQ(GetWindowTextBytes(window), "TaskIcon");
    EXPECT_FALSE(IsFormVisible(window));
    EXPECT_EQ(WinMessages_Modul::HookCount(), 1u);
    // Loading again keeps the one tray window and its one icon.
    ASSERT_TRUE(TaskIcon_Modul::LoadTaskIcon(&TrayTest::RecordUnload));
    EXPECT_EQ(TaskIcon_Modul::LoadedTaskIcon(), taskIcon);
    EXPECT_EQ(shell_.journal, (Lines{"icon add 1"}));

    const NotifyIconData& added = shell_.iconCalls.at(0).data;
    EXPECT_EQ(added.window, window);
    EXPECT_EQ(added.id, 1u);
    EXPECT_EQ(added.flags, kNifMessage | kNifIcon | kNifTip);
    EXPECT_EQ(added.callbackMessage, 18193u);
    EXPECT_EQ(added.icon, RecordingShell::kIcon);
    EXPECT_EQ(added.tip, "Merrowin");

    TaskIcon_Modul::UnloadTaskIcon();
    EXPECT_EQ(TaskIcon_Modul::LoadedTaskIcon(), nullptr);
    EXPECT_EQ(shell_.journal, (Lines{"icon add 1", "icon delete 1"}));
    EXPECT_EQ(shell_.iconCalls.at(1).data.flags, 0u);
    EXPECT_EQ(shell_.iconCalls.at(1).data.window, window);
    EXPECT_FALSE(WindowExists(window));
    EXPECT_EQ(WinMessages_Modul::HookCount(), 0u);
    TaskIcon_Modul::UnloadTaskIcon();  // not loaded: no second delete
    EXPECT_EQ(shell_.journal.size(), 2u);
}

TEST_F(TrayTest, SetTrayIconChoosesAddModifyOrDeleteByTheFieldsGiven) {
    TaskIcon& taskIcon = Loaded();
    struct Case {
        IconHandle icon;
        MessageId message;
        std::string tip;
        const char* expected;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {0x55, 77, "tip", "icon add 3", kNifIcon | kNifMessage | kNifTip},
        {0, 0, "", "icon delete 3", 0},
        {0x55, 0, "", "icon modify 3", kNifIcon},
        {0, 77, "", "icon modify 3", kNifMessage},
        {0, 0, "tip", "icon modify 3", kNifTip},
        {0x55, 0, "tip", "icon modify 3", kNifIcon | kNifTip},
        {0, 77, "tip", "icon modify 3", kNifMessage | kNifTip},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected + std::string(" flags ") + std::to_string(c.flags));
        shell_.journal.clear();
        shell_.iconCalls.clear();
        taskIcon.SetTrayIcon(3, c.icon, c.message, c.tip);
        EXPECT_EQ(shell_.journal, (Lines{c.expected}));
        const NotifyIconData& data = shell_.iconCalls.at(0).data;
        EXPECT_EQ(data.flags, c.flags);
        EXPECT_EQ(data.window, window_);
        EXPECT_EQ(data.id, 3u);
    }

    // The tip field holds 63 bytes and its zero.
    taskIcon.SetTrayIcon(3, 0, 0, std::string(100, 'x'));
    EXPECT_EQ(shell_.iconCalls.back().data.tip, std::string(63, 'x'));
    taskIcon.RemoveTrayIcon(9);
    EXPECT_EQ(shell_.journal.back(), "icon delete 9");
}

TEST_F(TrayTest, OnlyTheIconsLeftReleaseDoubleClickAndRightPressCount) {
    Loaded();
    TaskIcon_Modul::RememberWindow(program_);
    // Everything else that can reach the window changes nothing.
    Mouse(kWmMouseMove);
    Mouse(kWmLButtonDown);
    Mouse(kWmRButtonUp);
    Mouse(kMiddleDown);
    Mouse(kWmLButtonUp, 2);                                // another icon of the window
    Mouse(kWmLButtonUp, TaskIcon::kIconId, 18194);         // another message
    Mouse(kWmLButtonUp, TaskIcon::kIconId, kWmLButtonUp);  // a click on the window itself
    EXPECT_TRUE(shell_.journal.empty());
    ASSERT_NE(TaskIcon_Modul::LoadedTaskIcon(), nullptr);
    EXPECT_FALSE(IsFormVisible(program_));

    // The right press opens the menu; dismissed, it leaves the icon in place.
    Mouse(kWmRButtonDown);
    EXPECT_EQ(shell_.journal, (Lines{"menu 4"}));
    ASSERT_EQ(shell_.menus.size(), 1u);
    const std::vector<MenuItem>& menu = shell_.menus[0];
    ASSERT_EQ(menu.size(), 4u);
    EXPECT_EQ(menu[0].caption, "Zeigen");
    EXPECT_EQ(menu[1].caption, "Homepage");
    EXPECT_EQ(menu[2].caption, "-");
    EXPECT_EQ(menu[3].caption, "Programm beenden");
    EXPECT_NE(TaskIcon_Modul::LoadedTaskIcon(), nullptr);

    // The left release restores at once: the icon goes, the program comes back.
    shell_.journal.clear();
    Mouse(kWmLButtonUp);
    EXPECT_EQ(shell_.journal, Restored());
    EXPECT_EQ(TaskIcon_Modul::LoadedTaskIcon(), nullptr);
    EXPECT_FALSE(WindowExists(window_));
    EXPECT_TRUE(IsFormVisible(program_));
    EXPECT_TRUE(TaskIcon_Modul::RememberedWindows().empty());
    // The double click that follows the release finds the tray gone.
    Mouse(kWmLButtonDblClk);
    EXPECT_EQ(shell_.journal.size(), 3u);
}

TEST_F(TrayTest, DoubleClickAloneRestoresToo) {
    Loaded();
    TaskIcon_Modul::RememberWindow(program_);
    Mouse(kWmLButtonDblClk);
    EXPECT_EQ(shell_.journal, Restored());
    EXPECT_TRUE(IsFormVisible(program_));
}

TEST_F(TrayTest, MenuItemsShowOpenTheHomepageAndEnd) {
    Loaded();
    TaskIcon_Modul::RememberWindow(program_);
    shell_.menuAnswer = TaskIcon::m_Homepage;
    Mouse(kWmRButtonDown);
    EXPECT_EQ(shell_.journal, (Lines{"menu 4", "open " + std::string(kMakerHomepage)}));
    EXPECT_NE(TaskIcon_Modul::LoadedTaskIcon(), nullptr);

    shell_.journal.clear();
    shell_.menuAnswer = TaskIcon::m_Zeigen;
    Mouse(kWmRButtonDown);
    EXPECT_EQ(shell_.journal, Restored({"menu 4"}));
    EXPECT_EQ(TaskIcon_Modul::LoadedTaskIcon(), nullptr);

    // "Programm beenden": the icon and the tray window are gone before the unload
    // routine takes the program's windows down.
    Loaded();
    ShowForm(program_, false);
    TaskIcon_Modul::RememberWindow(program_);
    shell_.menuAnswer = TaskIcon::m_Ende;
    Mouse(kWmRButtonDown);
    Lines expected = Restored({"menu 4"});
    expected.push_back("unload");
    EXPECT_EQ(shell_.journal, expected);
    EXPECT_TRUE(IsFormVisible(program_));
    EXPECT_FALSE(WindowExists(window_));
}

TEST_F(TrayTest, ProgrammBeendenRunsTheProgramsUnloadRoutine) {
    ASSERT_TRUE(TaskIcon_Modul::LoadTaskIcon());
    window_ = TaskIcon_Modul::LoadedTaskIcon()->Window();
    shell_.menuAnswer = TaskIcon::m_Ende;
    Mouse(kWmRButtonDown);
    EXPECT_TRUE(IsUnloading());
    EXPECT_FALSE(WindowExists(window_));
    // The unload routine ends the message loop.
    Msg msg;
    bool quit = false;
    for (int i = 0; i < 100 && !quit; ++i) quit = !GetMsg(msg);
    EXPECT_TRUE(quit);
    SetUnloading(false);
}

TEST_F(TrayTest, ShowFromTraySkipsClosedWindowsAndEmptiesTheList) {
    const WindowHandle closed = CreateForm({"Closed", 100, 50, "", 8, nullptr});
    const WindowHandle second = CreateForm({"Second", 100, 50, "", 8, nullptr});
    TaskIcon_Modul::RememberWindow(program_);
    TaskIcon_Modul::RememberWindow(closed);
    TaskIcon_Modul::RememberWindow(second);
    ASSERT_TRUE(DestroyWin(closed));
    TaskIcon_Modul::ShowFromTray();  // nothing loaded: no icon call
    const std::string a = std::to_string(program_);
    const std::string b = std::to_string(second);
    EXPECT_EQ(shell_.journal,
              (Lines{"foreground " + a, "top " + a, "foreground " + b, "top " + b}));
    EXPECT_TRUE(IsFormVisible(program_));
    EXPECT_TRUE(IsFormVisible(second));
    EXPECT_TRUE(TaskIcon_Modul::RememberedWindows().empty());
    shell_.journal.clear();
    TaskIcon_Modul::ShowFromTray();
    EXPECT_TRUE(shell_.journal.empty());
    DestroyWin(second);
}

TEST_F(TrayTest, TrayWindowClosedFromOutsideTakesItsIconAlong) {
    Loaded();
    SendMsg(window_, kWmClose, 0, 0);
    EXPECT_FALSE(WindowExists(window_));
    EXPECT_EQ(shell_.journal, (Lines{"icon delete 1"}));
    EXPECT_EQ(WinMessages_Modul::HookCount(), 0u);
    EXPECT_EQ(TaskIcon_Modul::LoadedTaskIcon(), nullptr);

    // Loading again really puts an icon back.
    ASSERT_TRUE(TaskIcon_Modul::LoadTaskIcon(&TrayTest::RecordUnload));
    ASSERT_NE(TaskIcon_Modul::LoadedTaskIcon(), nullptr);
    EXPECT_NE(TaskIcon_Modul::LoadedTaskIcon()->Window(), window_);
    EXPECT_EQ(shell_.journal, (Lines{"icon delete 1", "icon add 1"}));
}

// A tray window a caller made itself, not through TaskIcon_Modul.
TEST_F(TrayTest, TrayWindowOfItsOwnLeavesWithItsIcon) {
    std::shared_ptr<TaskIcon> own = TaskIcon::Create(nullptr);
    ASSERT_TRUE(own->Load());
    window_ = own->Window();
    TaskIcon_Modul::RememberWindow(program_);
    Mouse(kWmLButtonUp);
    EXPECT_FALSE(own->IsLoaded());
    EXPECT_FALSE(WindowExists(window_));
    EXPECT_EQ(shell_.journal, Restored({"icon add 1"}));

    // Ended while loaded, it deletes its icon.
    ASSERT_TRUE(own->Load());
    const WindowHandle window = own->Window();
    shell_.journal.clear();
    own.reset();
    EXPECT_EQ(shell_.journal, (Lines{"icon delete 1"}));
    EXPECT_FALSE(WindowExists(window));
}

}  // namespace
}  // namespace pelorin
