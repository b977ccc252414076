// Window state and normal-state bounds: the normal bounds survive minimising and
// maximising, and state changes leave visibility alone.
#include "platform/WindowPlacement.h"

#include <gtest/gtest.h>

#include "platform/Ui.h"
#include "platform/Window.h"
#include "testing/BoundsText.h"

namespace pelorin::platform {

namespace {

using pelorin::testing::BoundsText;

constexpr Bounds kPlace{120, 90, 320, 240};

class WindowPlacementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form_ = CreateForm({"Placement", 200, 100, "", 8, nullptr});
        ASSERT_NE(form_, 0);
        SetNormalBounds(form_, kPlace);
    }
    void TearDown() override { DestroyWin(form_); }

    WindowHandle form_ = 0;
};

TEST_F(WindowPlacementTest, NormalBoundsSurviveMinimiseAndMaximise) {
    ShowForm(form_, true);
    EXPECT_EQ(BoundsText(GetNormalBounds(form_)), BoundsText(kPlace));
    SetWindowState(form_, WindowState::Maximized);
    EXPECT_EQ(GetWindowState(form_), WindowState::Maximized);
    EXPECT_EQ(BoundsText(GetNormalBounds(form_)), BoundsText(kPlace));
    // Minimised from maximised: restoring must still reach the normal state.
    SetWindowState(form_, WindowState::Minimized);
    EXPECT_EQ(GetWindowState(form_), WindowState::Minimized);
    EXPECT_EQ(BoundsText(GetNormalBounds(form_)), BoundsText(kPlace));
    SetWindowState(form_, WindowState::Normal);
    EXPECT_EQ(GetWindowState(form_), WindowState::Normal);
    EXPECT_EQ(BoundsText(GetNormalBounds(form_)), BoundsText(kPlace));
    EXPECT_TRUE(IsFormVisible(form_));
}

TEST_F(WindowPlacementTest, BoundsSetWhileMinimisedApplyOnRestore) {
    ShowForm(form_, true);
    SetWindowState(form_, WindowState::Minimized);
    const Bounds moved{300, 200, 250, 150};
    SetNormalBounds(form_, moved);
    EXPECT_EQ(GetWindowState(form_), WindowState::Minimized);
    EXPECT_EQ(BoundsText(GetNormalBounds(form_)), BoundsText(moved));
    SetWindowState(form_, WindowState::Normal);
    EXPECT_EQ(BoundsText(GetNormalBounds(form_)), BoundsText(moved));
}

TEST_F(WindowPlacementTest, HiddenWindowStaysHiddenThroughStateChanges) {
    ASSERT_FALSE(IsFormVisible(form_));
    SetWindowState(form_, WindowState::Minimized);
    EXPECT_FALSE(IsFormVisible(form_));
    EXPECT_EQ(GetWindowState(form_), WindowState::Minimized);
    SetWindowState(form_, WindowState::Maximized);
    EXPECT_FALSE(IsFormVisible(form_));
    SetWindowState(form_, WindowState::Normal);
    EXPECT_FALSE(IsFormVisible(form_));
    EXPECT_EQ(GetWindowState(form_), WindowState::Normal);
    EXPECT_EQ(BoundsText(GetNormalBounds(form_)), BoundsText(kPlace));
}

TEST(WindowPlacement, NoWindowReadsAsNormalAndEmpty) {
    const WindowHandle gone = CreateForm({"Gone", 50, 50, "", 8, nullptr});
    ASSERT_TRUE(DestroyWin(gone));
    SetNormalBounds(gone, kPlace);
    SetWindowState(gone, WindowState::Maximized);
    EXPECT_EQ(GetWindowState(gone), WindowState::Normal);
    EXPECT_EQ(BoundsText(GetNormalBounds(gone)), BoundsText(Bounds{}));
    EXPECT_EQ(BoundsText(GetNormalBounds(0)), BoundsText(Bounds{}));
}

}  // namespace
}  // namespace pelorin::platform
