// Text forms of points and rectangles: what a position file line is made of.
#include "server/Mathe_Code.h"

#include <gtest/gtest.h>

namespace pelorin {
namespace {

TEST(MatheCodeText, ShortestDecimalWithoutLeadingZero) {
    EXPECT_EQ(PointText({.25, 3}), ".25|3");
    EXPECT_EQ(PointText({-.5, -12.75}), "-.5|-12.75");
    EXPECT_EQ(PointText({0, 1}), "0|1");
    EXPECT_EQ(PointText({1.0 / 3, 2.0 / 3}), ".333333333333333|.666666666666667");
    EXPECT_EQ(RectangleText({.5, 0, .5, 1}), ".5|0_.5|1");
    EXPECT_EQ(RectangleText({-1, 1.5, 0, .0001}), "-1|1.5_0|.0001");
}

TEST(MatheCodeParse, SplitsAtTheFirstSeparator) {
    const Point p = ParsePoint("1|2|3");
    EXPECT_EQ(p.x, 1);
    EXPECT_EQ(p.y, 2);
    // The size part "3|4_5" reads its height up to where a number ends.
    const Rectangle r = ParseRectangle("1|2_3|4_5");
    EXPECT_EQ(r.x, 1);
    EXPECT_EQ(r.y, 2);
    EXPECT_EQ(r.width, 3);
    EXPECT_EQ(r.height, 4);
    const Rectangle spaced = ParseRectangle(" .5 | 1 _ -.25|2 ");
    EXPECT_EQ(spaced.x, .5);
    EXPECT_EQ(spaced.y, 1);
    EXPECT_EQ(spaced.width, -.25);
    EXPECT_EQ(spaced.height, 2);
}

TEST(MatheCodeParse, MissingSeparatorsAndUnreadablePartsGiveZeros) {
    const Point noBar = ParsePoint("5");
    EXPECT_EQ(noBar.x, 0);
    EXPECT_EQ(noBar.y, 0);
    const Point junk = ParsePoint("abc|x7");
    EXPECT_EQ(junk.x, 0);
    EXPECT_EQ(junk.y, 0);

    const Rectangle noUnderscore = ParseRectangle("1|2");
    EXPECT_EQ(noUnderscore.x, 0);
    EXPECT_EQ(noUnderscore.y, 0);
    const Rectangle halfBroken = ParseRectangle("1_.5|.5");
    EXPECT_EQ(halfBroken.x, 0);
    EXPECT_EQ(halfBroken.y, 0);
    EXPECT_EQ(halfBroken.width, .5);
    EXPECT_EQ(halfBroken.height, .5);
    const Rectangle empty = ParseRectangle("");
    EXPECT_EQ(empty.width, 0);
    EXPECT_EQ(empty.height, 0);
}

}  // namespace
}  // namespace pelorin
