// The position saver as a caller uses it, over whatever screen the platform has: the file's
// line, save and load round trips, and lines from other screens, damaged or missing.
#include "server/desktop/PositionSaver.h"

#include <gtest/gtest.h>

#include "base/RuntimeError.h"
#include "testing/RecordingHooks.h"
#include "server/desktop/Mathe_Code.h"
#include "server/desktop/tests/PositionSaverFixture.h"

namespace pelorin::testing {
namespace {

using platform::WindowState;

// The number of the RuntimeError `action` throws; 0 when it throws none.
template <typename Action>
int ErrorNumberOf(Action action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

TEST(PositionSaverLife, ReportsCreationAndDestruction) {
    ResetHooks();
    {
        PositionSaver saver;
        EXPECT_EQ(Hooks().liveObjects["PositionSaver"], 1);
    }
    EXPECT_EQ(Hooks().liveObjects["PositionSaver"], 0);
}

TEST_F(PositionSaverTest, MaximisedWindowOnTheRightHalfGivesTheDocumentedLine) {
    const platform::ScreenSize screen = platform::GetScreenSize();
    if (screen.width % 2 != 0) GTEST_SKIP() << "the right half needs an even screen width";
    const platform::Bounds rightHalf{screen.width / 2, 0, screen.width / 2, screen.height};
    platform::SetNormalBounds(form_, rightHalf);
    platform::ShowForm(form_, true);
    platform::SetWindowState(form_, WindowState::Maximized);

    saver_.SavePosition();
    EXPECT_EQ(saver_.GetFormName(), "Saved");
    EXPECT_EQ(saver_.FilePath(), PosFile());
    EXPECT_EQ(ReadPosFile(), "12.5|0_.5|1\r\n");
    EXPECT_EQ(State(), WindowState::Normal);  // saving restores the window

    MoveAway();
    saver_.LoadPosition();
    EXPECT_EQ(State(), WindowState::Maximized);
    EXPECT_TRUE(Visible());
    EXPECT_EQ(NormalBounds(), BoundsText(rightHalf));
}

TEST_F(PositionSaverTest, SaveThenLoadRestoresBoundsWithinRounding) {
    platform::ShowForm(form_, true);
    saver_.SavePosition();
    const std::string line = ReadPosFile();
    ASSERT_EQ(line.substr(0, 2), "10");
    ASSERT_TRUE(line.ends_with("\r\n"));

    MoveAway();
    ASSERT_EQ(NormalBounds(), BoundsText(kElsewhere));
    saver_.LoadPosition();
    EXPECT_EQ(NormalBounds(), BoundsText(kPlace));
    EXPECT_EQ(State(), WindowState::Normal);
    EXPECT_TRUE(Visible());
}

TEST_F(PositionSaverTest, MinimisedWindowKeepsItsNormalBoundsAndComesBackMinimised) {
    platform::ShowForm(form_, true);
    platform::SetWindowState(form_, WindowState::Minimized);
    saver_.SavePosition();
    const std::string line = ReadPosFile();
    ASSERT_EQ(line.substr(0, 2), "11");
    const platform::ScreenSize screen = platform::GetScreenSize();
    const Rectangle stored = ParseRectangle(line.substr(2));
    EXPECT_NEAR(stored.x * screen.width, kPlace.left, 1e-6);
    EXPECT_NEAR(stored.width * screen.width, kPlace.width, 1e-6);
    EXPECT_NEAR(stored.y * screen.height, kPlace.top, 1e-6);
    EXPECT_NEAR(stored.height * screen.height, kPlace.height, 1e-6);

    MoveAway();
    saver_.LoadPosition();
    EXPECT_EQ(State(), WindowState::Minimized);
    EXPECT_EQ(NormalBounds(), BoundsText(kPlace));
    platform::SetWindowState(form_, WindowState::Normal);
    EXPECT_EQ(NormalBounds(), BoundsText(kPlace));
}

TEST_F(PositionSaverTest, HiddenWindowComesBackHidden) {
    ASSERT_FALSE(Visible());
    saver_.SavePosition();
    EXPECT_EQ(ReadPosFile().substr(0, 2), "00");
    MoveAway();
    saver_.LoadPosition();
    EXPECT_FALSE(Visible());
    EXPECT_EQ(NormalBounds(), BoundsText(kPlace));
}

TEST_F(PositionSaverTest, LineFromAScreenHalfAsWideDoublesOffsetAndWidth) {
    const platform::ScreenSize screen = platform::GetScreenSize();
    if (screen.width % 2 != 0) GTEST_SKIP() << "half the screen needs an even screen width";
    const double half = screen.width / 2;
    const double height = screen.height;
    WritePosFile("10" + RectangleText({200 / half, 100 / height, 300 / half, 150 / height}) +
                 "\r\n");
    saver_.LoadPosition();
    EXPECT_EQ(NormalBounds(), BoundsText({400, 100, 600, 150}));
}

TEST_F(PositionSaverTest, FirstLoadCreatesAnEmptyLineAndLeavesTheWindowAlone) {
    ASSERT_FALSE(HasPosFile());
    saver_.LoadPosition();
    EXPECT_EQ(ReadPosFile(), "\r\n");
    EXPECT_EQ(NormalBounds(), BoundsText(kPlace));
    EXPECT_EQ(State(), WindowState::Normal);
    EXPECT_FALSE(Visible());

    WritePosFile("");  // an empty file reads as an empty line too
    saver_.LoadPosition();
    EXPECT_EQ(NormalBounds(), BoundsText(kPlace));
    EXPECT_FALSE(Visible());
}

TEST_F(PositionSaverTest, OnlyTheFirstLineCounts) {
    WritePosFile("10.25|.25_.25|.25\n01.5|.5_.5|.5\r\n");
    saver_.LoadPosition();
    const platform::ScreenSize s = platform::GetScreenSize();
    EXPECT_EQ(NormalBounds(), BoundsText({s.width / 4, s.height / 4, s.width / 4, s.height / 4}));
    EXPECT_EQ(State(), WindowState::Normal);
    EXPECT_TRUE(Visible());
}

TEST_F(PositionSaverTest, WithoutAWindowNothingHappens) {
    PositionSaver unbound;
    unbound.SetFormName("Saved");
    EXPECT_NO_THROW(unbound.LoadPosition());
    EXPECT_NO_THROW(unbound.SavePosition());
    EXPECT_FALSE(HasPosFile());

    // A window destroyed after SetForm counts as none: its good line stays.
    WritePosFile("10.25|.25_.25|.25\r\n");
    const platform::WindowHandle gone = platform::CreateForm({"Gone", 50, 50, "", 8, nullptr});
    unbound.SetForm(gone);
    platform::DestroyWin(gone);
    EXPECT_NO_THROW(unbound.SavePosition());
    EXPECT_NO_THROW(unbound.LoadPosition());
    EXPECT_EQ(ReadPosFile(), "10.25|.25_.25|.25\r\n");
}

// Lines from another screen or a damaged file are applied without a bounds check.
TEST_F(PositionSaverTest, OffScreenAndOddStateLinesAreAppliedUnchanged) {
    const platform::ScreenSize s = platform::GetScreenSize();
    WritePosFile("12-1|-1_.5|.5\r\n");
    saver_.LoadPosition();
    EXPECT_EQ(State(), WindowState::Maximized);
    EXPECT_EQ(NormalBounds(), BoundsText({-s.width, -s.height, s.width / 2, s.height / 2}));

    MoveAway();
    WritePosFile("171|1_.5|.5\r\n");  // no such state: the window is restored
    saver_.LoadPosition();
    EXPECT_EQ(State(), WindowState::Normal);
    EXPECT_EQ(NormalBounds(), BoundsText({s.width, s.height, s.width / 2, s.height / 2}));
}

TEST_F(PositionSaverTest, NumbersTooLargeForAWindowFailBeforeTheWindowChanges) {
    WritePosFile("121E300|0_.5|.5\r\n");
    EXPECT_EQ(ErrorNumberOf([&] { saver_.LoadPosition(); }), errors::kOverflow);
    EXPECT_FALSE(Visible());
    EXPECT_EQ(State(), WindowState::Normal);
    EXPECT_EQ(NormalBounds(), BoundsText(kPlace));
}

TEST_F(PositionSaverTest, FileErrorsReachTheCaller) {
    SetProgramFolderPath(folder_.path() + "missing\\");
    EXPECT_EQ(ErrorNumberOf([&] { saver_.LoadPosition(); }), errors::kPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { saver_.SavePosition(); }), errors::kPathNotFound);
}

}  // namespace
}  // namespace pelorin::testing
