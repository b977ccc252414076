// Text forms of points and rectangles: what a position file line is made of.
#include "server/desktop/Mathe_Code.h"

#include <gtest/gtest.h>

#include <utility>

namespace pelorin {
namespace {

// A point, or a rectangle's place or size, as one value: a failed comparison shows both
// numbers.
using Pair = std::pair<double, double>;
Pair Parts(const Point& p) {
    return {p.x, p.y};
}
Pair Place(const Rectangle& r) {
    return {r.x, r.y};
}
Pair Size(const Rectangle& r) {
    return {r.width, r.height};
}

TEST(MatheCodeText, ShortestDecimalWithoutLeadingZero) {
    EXPECT_EQ(PointText({.25, 3}), ".25|3");
    EXPECT_EQ(PointText({-.5, -12.75}), "-.5|-12.75");
    EXPECT_EQ(PointText({0, 1}), "0|1");
    EXPECT_EQ(PointText({1.0 / 3, 2.0 / 3}), ".333333333333333|.666666666666667");
    EXPECT_EQ(RectangleText({.5, 0, .5, 1}), ".5|0_.5|1");
    EXPECT_EQ(RectangleText({-1, 1.5, 0, .0001}), "-1|1.5_0|.0001");
}

TEST(MatheCodeParse, SplitsAtTheFirstSeparator) {
    EXPECT_EQ(Parts(ParsePoint("1|2|3")), Pair(1, 2));
    // The size part "3|4_5" reads its height up to where a number ends.
    const Rectangle r = ParseRectangle("1|2_3|4_5");
    EXPECT_EQ(Place(r), Pair(1, 2));
    EXPECT_EQ(Size(r), Pair(3, 4));
    const Rectangle spaced = ParseRectangle(" .5 | 1 _ -.25|2 ");
    EXPECT_EQ(Place(spaced), Pair(.5, 1));
    EXPECT_EQ(Size(spaced), Pair(-.25, 2));
}

TEST(MatheCodeParse, MissingSeparatorsAndUnreadablePartsGiveZeros) {
    EXPECT_EQ(Parts(ParsePoint("5")), Pair(0, 0));
    EXPECT_EQ(Parts(ParsePoint("abc|x7")), Pair(0, 0));

    EXPECT_EQ(Place(ParseRectangle("1|2")), Pair(0, 0));
    const Rectangle halfBroken = ParseRectangle("1_.5|.5");
    EXPECT_EQ(Place(halfBroken), Pair(0, 0));
    EXPECT_EQ(Size(halfBroken), Pair(.5, .5));
    EXPECT_EQ(Size(ParseRectangle("")), Pair(0, 0));
}

}  // namespace
}  // namespace pelorin
