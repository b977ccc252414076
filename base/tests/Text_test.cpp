// Number and text conversions (the formats that reach files, lists and the wire), and
// the run-time error type.
#include "base/Text.h"

#include <gtest/gtest.h>

#include "base/RuntimeError.h"

namespace pelorin {
namespace {

TEST(Val, ReadsTheLeadingNumberTheClassicWay) {
    EXPECT_EQ(Val("88"), 88);
    EXPECT_EQ(Val(" 2"), 2);
    EXPECT_EQ(Val("1 2 3"), 123);  // blanks inside are skipped
    EXPECT_EQ(Val("12abc"), 12);
    EXPECT_EQ(Val("abc"), 0);
    EXPECT_EQ(Val(""), 0);
    EXPECT_EQ(Val("-3.5"), -3.5);
    EXPECT_EQ(Val(".25"), 0.25);
    EXPECT_EQ(Val("1E3"), 1000);
    EXPECT_EQ(Val("2d2"), 200);
    EXPECT_EQ(Val("7E"), 7);
    EXPECT_EQ(Val("&H1F"), 31);
    EXPECT_EQ(Val("&O17"), 15);
    EXPECT_EQ(Val("1.2.3"), 1.2);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(3.5), 4);
    EXPECT_EQ(RoundToInt16(-2.5), -2);
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_FALSE(RoundToInt16(32767.5).has_value());
    EXPECT_FALSE(RoundToInt32(3e9).has_value());
    EXPECT_EQ(RoundToInt32(-2147483648.0), -2147483647 - 1);
    EXPECT_DOUBLE_EQ(RoundHalfEven(5.0 / 3.0, 2), 1.67);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.125, 2), 0.12);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.375, 2), 0.38);
}

TEST(NumberText, ShortestFormWithoutLeadingZero) {
    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(15.5), "15.5");
    EXPECT_EQ(NumberText(1.67), "1.67");
    EXPECT_EQ(NumberText(31), "31");
    EXPECT_EQ(NumberText(0.5), ".5");
    EXPECT_EQ(NumberText(0.25), ".25");
    EXPECT_EQ(NumberText(-0.25), "-.25");
    EXPECT_EQ(NumberText(-7), "-7");
    EXPECT_EQ(NumberText(2147483648.0), "2147483648");
    EXPECT_EQ(NumberText(0.1 + 0.2), ".3");
    EXPECT_EQ(NumberText(1e20), "1E+20");
    EXPECT_EQ(Val(NumberText(1.0 / 3.0)), 0.333333333333333);
}

TEST(TextHelpers, CaseTrimReplaceCount) {
    EXPECT_EQ(UpperCase("get \xE4x"), "GET \xE4X");  // only ASCII letters change
    EXPECT_EQ(TrimSpaces("  a b  "), "a b");
    EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");
    EXPECT_EQ(ReplaceAll("a\\\\\\b", "\\\\", "\\"), "a\\\\b");  // one pass, no overlap
    EXPECT_EQ(CountOccurrences("A|B|", "|"), 2u);
    EXPECT_EQ(CountOccurrences("", "|"), 0u);
    EXPECT_TRUE(EqualsIgnoreCase("Content-Length", "CONTENT-LENGTH"));
}

TEST(RuntimeError, CarriesNumberAndText) {
    const RuntimeError e(9);
    EXPECT_EQ(e.number(), 9);
    EXPECT_STREQ(e.what(), "Subscript out of range");
    EXPECT_EQ(RuntimeErrorText(53), "File not found");
    EXPECT_EQ(RuntimeErrorText(75), "Path/File access error");
}

}  // namespace
}  // namespace pelorin
