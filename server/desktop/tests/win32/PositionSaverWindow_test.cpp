// The saver drives a real window: the window itself is told that it was moved, sized and
// maximised, and restoring it puts it where it was saved.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/Window.h"
#include "platform/win32/Native.h"
#include "server/desktop/tests/PositionSaverFixture.h"

namespace pelorin::testing {
namespace {

using platform::win32::ToHwnd;

std::vector<WPARAM> gSizeKinds;  // wParam of every WM_SIZE: SIZE_RESTORED, SIZE_MAXIMIZED...
int gMoves = 0;

platform::LResult RecordingProc(platform::WindowHandle window, platform::MessageId message,
                                platform::WParam wParam, platform::LParam lParam) {
    if (message == WM_SIZE) gSizeKinds.push_back(wParam);
    if (message == WM_MOVE) ++gMoves;
    return platform::DefaultWindowProc(window, message, wParam, lParam);
}

TEST_F(PositionSaverTest, RoundTripMovesTheRealWindow) {
    platform::ReplaceWindowProc(form_, RecordingProc);
    platform::ShowForm(form_, true);
    platform::SetWindowState(form_, platform::WindowState::Maximized);
    saver_.SavePosition();
    EXPECT_FALSE(IsZoomed(ToHwnd(form_)));

    MoveAway();
    gSizeKinds.clear();
    gMoves = 0;
    saver_.LoadPosition();
    EXPECT_TRUE(IsZoomed(ToHwnd(form_)));
    EXPECT_TRUE(IsWindowVisible(ToHwnd(form_)));
    EXPECT_GT(gMoves, 0);
    ASSERT_FALSE(gSizeKinds.empty());
    EXPECT_EQ(gSizeKinds.back(), static_cast<WPARAM>(SIZE_MAXIMIZED));

    ShowWindow(ToHwnd(form_), SW_RESTORE);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(ToHwnd(form_), &r));
    EXPECT_EQ(BoundsText({r.left, r.top, r.right - r.left, r.bottom - r.top}), BoundsText(kPlace));
    EXPECT_EQ(gSizeKinds.back(), static_cast<WPARAM>(SIZE_RESTORED));
}

}  // namespace
}  // namespace pelorin::testing
