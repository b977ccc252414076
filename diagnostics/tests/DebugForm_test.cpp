// The debug window: its make-up, its log box, and that only unloading closes it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DiagnosticsFixture.h"
#include "diagnostics/DebugForm.h"
#include "diagnostics/Debug_Modul.h"
#include "diagnostics/LogBox.h"
#include "platform/MessageQueue.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

using namespace platform;
using testing::DiagnosticsTest;
using DebugWindow = DiagnosticsTest;

TEST_F(DebugWindow, ShowMakesTheWindowWithItsColumns) {
    ShowDebugWindow();
    const DebugForm& form = GetDebugForm();
    ASSERT_TRUE(form.IsLoaded());
    EXPECT_TRUE(DebugWindowShown());
    EXPECT_TRUE(IsFormVisible(form.Window()));
    EXPECT_EQ(GetWindowTextBytes(form.Window()), "DebugForm");
    EXPECT_EQ(ReportListColumns(form.ListView1()), (std::vector<std::string>{"Klasse", "Anzahl"}));
    // The captions are ANSI: the "ä" of "Längste" is the one byte 0xE4.
    const std::vector<std::string> prozessColumns = {
        "Prozess", "Durchschnitt", std::string("L\xE4ngste"), "Anzahl", "Gesammt"};
    EXPECT_EQ(ReportListColumns(form.ListView2()), prozessColumns);
    EXPECT_EQ(ReportListColumns(form.ListView2())[2].size(), 7u);
    EXPECT_EQ(ReportListRowCount(form.ListView1()), 0);
    EXPECT_EQ(GetWindowTextBytes(form.Text1()), "");
}

TEST_F(DebugWindow, ShowingTwiceKeepsTheOneWindow) {
    ShowDebugWindow();
    const WindowHandle first = GetDebugForm().Window();
    WriteLog("kept");
    ShowDebugWindow();
    EXPECT_EQ(GetDebugForm().Window(), first);
    EXPECT_EQ(GetWindowTextBytes(GetDebugForm().Text1()), "kept\r\n");
}

TEST_F(DebugWindow, CloseIsRefusedWhileTheProgramRuns) {
    ShowDebugWindow();
    const WindowHandle window = GetDebugForm().Window();
    WriteLog("still here");
    SendMsg(window, kWmClose, 0, 0);
    UnloadDebugWindow();
    EXPECT_TRUE(WindowExists(window));
    EXPECT_TRUE(IsFormVisible(window));
    EXPECT_EQ(GetWindowTextBytes(GetDebugForm().Text1()), "still here\r\n");
}

TEST_F(DebugWindow, UnloadClosesItOnceUnloading) {
    ShowDebugWindow();
    const WindowHandle window = GetDebugForm().Window();
    SetUnloading(true);
    UnloadDebugWindow();
    EXPECT_FALSE(WindowExists(window));
    EXPECT_FALSE(GetDebugForm().IsLoaded());
    WriteLog("Exit");  // the window is gone: nothing to reach, nothing to fail
}

TEST_F(DebugWindow, CloseBoxClosesItOnceUnloading) {
    ShowDebugWindow();
    const WindowHandle window = GetDebugForm().Window();
    SetUnloading(true);
    SendMsg(window, kWmClose, 0, 0);
    EXPECT_FALSE(WindowExists(window));
    EXPECT_FALSE(GetDebugForm().IsLoaded());
}

TEST_F(DebugWindow, ResetDestroysTheWindow) {
    ShowDebugWindow();
    const WindowHandle window = GetDebugForm().Window();
    ResetDiagnostics();
    EXPECT_FALSE(WindowExists(window));
    EXPECT_FALSE(GetDebugForm().IsLoaded());
}

TEST_F(DebugWindow, AddTextKeepsTheBoxWithinItsLimit) {
    DebugForm form;
    ASSERT_TRUE(form.Load());
    const std::string line(998, 'x');
    for (int i = 0; i < 40; ++i) form.AddText(line);
    const std::string box = GetWindowTextBytes(form.Text1());
    EXPECT_EQ(box.size(), kLogBoxLimit);  // 32 lines of 1,000 fit exactly
    EXPECT_EQ(box.substr(box.size() - 1000), line + "\r\n");
}

TEST_F(DebugWindow, FormObjectTakesItsWindowAlong) {
    WindowHandle window = 0;
    {
        DebugForm form;
        ASSERT_TRUE(form.Load());
        window = form.Window();
        EXPECT_FALSE(IsFormVisible(window));
    }
    EXPECT_FALSE(WindowExists(window));
}

}  // namespace
}  // namespace pelorin
