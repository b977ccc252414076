// The position saver moved between model screens of different sizes, and the damaged lines
// whose effect only the model shows unchanged (a real window has a smallest size).
#include <gtest/gtest.h>

#include "platform/posix/ModelScreen.h"
#include "server/desktop/tests/PositionSaverFixture.h"

namespace pelorin::testing {
namespace {

using platform::ScreenSize;
using platform::WindowState;
using platform::posix::SetModelScreenSize;

class PositionSaverScreenTest : public PositionSaverTest {
  protected:
    void TearDown() override {
        SetModelScreenSize(platform::posix::kDefaultModelScreen);
        PositionSaverTest::TearDown();
    }
};

TEST_F(PositionSaverScreenTest, LineWrittenOnAScreenTwiceAsWide) {
    ASSERT_TRUE(SetModelScreenSize({800, 600}));
    platform::SetNormalBounds(form_, {100, 50, 300, 200});
    platform::ShowForm(form_, true);
    saver_.SavePosition();
    EXPECT_EQ(ReadPosFile(), "10.125|.0833333333333333_.375|.333333333333333\r\n");

    ASSERT_TRUE(SetModelScreenSize({1600, 600}));
    saver_.LoadPosition();
    EXPECT_EQ(NormalBounds(), BoundsText({200, 50, 600, 200}));

    // And back to the narrower screen, through a line written on the wide one.
    saver_.SavePosition();
    ASSERT_TRUE(SetModelScreenSize({800, 600}));
    MoveAway();
    saver_.LoadPosition();
    EXPECT_EQ(NormalBounds(), BoundsText({100, 50, 300, 200}));
}

TEST_F(PositionSaverScreenTest, ShortLinesGiveAWindowOfSizeZeroAtTheOrigin) {
    struct Case {
        const char* line;
        WindowState state;
    };
    for (const Case& c :
         {Case{"1\r\n", WindowState::Normal}, Case{"11\r\n", WindowState::Minimized},
          Case{"12garbage\r\n", WindowState::Maximized},
          Case{"10.5|.5\r\n", WindowState::Normal}}) {
        SCOPED_TRACE(c.line);
        MoveAway();
        WritePosFile(c.line);
        saver_.LoadPosition();
        EXPECT_EQ(NormalBounds(), BoundsText({0, 0, 0, 0}));
        EXPECT_EQ(State(), c.state);
        EXPECT_TRUE(Visible());
    }
}

TEST(ModelScreen, OnlyPositiveSizesAreTaken) {
    EXPECT_FALSE(SetModelScreenSize({0, 600}));
    EXPECT_FALSE(SetModelScreenSize({800, -1}));
    const ScreenSize screen = platform::GetScreenSize();
    EXPECT_EQ(screen.width, platform::posix::kDefaultModelScreen.width);
    EXPECT_EQ(screen.height, platform::posix::kDefaultModelScreen.height);
}

}  // namespace
}  // namespace pelorin::testing
