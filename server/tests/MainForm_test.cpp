// The server window: its make-up, the button's two states, a port that cannot be
// listened on, and closing the window.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ServerFixture.h"
#include "diagnostics/Hooks.h"
#include "platform/Files.h"
#include "platform/MessageQueue.h"
#include "platform/Sockets.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "server/store/StorePaths.h"
#include "settings/ProgramSettings.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"

namespace pelorin {
namespace {

using namespace platform;
using testing::Answer;
using testing::TestPeer;
using Lines = std::vector<std::string>;

class ServerWindow : public testing::StoreFixture {
  protected:
    static void CountUnload() { ++unloads_; }
    void SetUp() override {
        StoreFixture::SetUp();
        unloads_ = 0;
    }
    static inline int unloads_ = 0;
};

TEST_F(ServerWindow, LoadsStoppedWithItsControls) {
    MainForm form(&ServerWindow::CountUnload);
    ASSERT_TRUE(form.Load());
    EXPECT_EQ(GetWindowTextBytes(form.Window()), "Pelorin");
    EXPECT_EQ(GetWindowTextBytes(form.PortBox()), "88");
    EXPECT_EQ(GetWindowTextBytes(form.Button()), "start server");
    EXPECT_FALSE(form.IsListening());
    EXPECT_EQ(form.HandlerCount(), 0u);
    EXPECT_FALSE(IsFormVisible(form.Window()));
    form.Show();
    EXPECT_TRUE(IsFormVisible(form.Window()));
}

TEST_F(ServerWindow, LoadMakesAMissingDataFolderOnly) {
    ASSERT_EQ(RemoveFolder(Data()), 0);
    {
        MainForm form(nullptr);
        ASSERT_TRUE(form.Load("8088"));
        EXPECT_EQ(GetWindowTextBytes(form.PortBox()), "8088");
    }
    EXPECT_TRUE(FolderExists(Data() + "\\"));
}

TEST_F(ServerWindow, PortsOutOfRangeLeaveTheWindowStopped) {
    MainForm form(nullptr);
    ASSERT_TRUE(form.Load());
    for (const char* text : {"65536", "-1", "99999999999"}) {
        SetWindowTextBytes(form.PortBox(), text);
        PressButton(form.Button());
        EXPECT_FALSE(form.IsListening()) << text;
        EXPECT_EQ(GetWindowTextBytes(form.Button()), "start server") << text;
    }
}

TEST_F(ServerWindow, ClosingStopsTheServerAndRunsTheUnloadRoutine) {
    MainForm form(&ServerWindow::CountUnload);
    ASSERT_TRUE(form.Load("0"));
    PressButton(form.Button());
    const auto port = static_cast<std::uint16_t>(form.ListeningPort());
    TestPeer open(port);
    ASSERT_TRUE(testing::PumpUntil([&] { return form.HandlerCount() == 1; }));
    const WindowHandle window = form.Window();
    SendMsg(window, kWmClose, 0, 0);
    EXPECT_EQ(unloads_, 1);
    EXPECT_FALSE(WindowExists(window));
    EXPECT_FALSE(form.IsListening());
    EXPECT_TRUE(open.ReadUntilClosed());
}

TEST_F(ServerWindow, ClosingWhileUnloadingLeavesTheRoutineAlone) {
    MainForm form(&ServerWindow::CountUnload);
    ASSERT_TRUE(form.Load());
    SetUnloading(true);
    form.Unload();
    EXPECT_EQ(unloads_, 0);
    EXPECT_EQ(form.Window(), 0);
    SetUnloading(false);
}

}  // namespace
}  // namespace pelorin
