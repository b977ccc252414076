// Timing arithmetic the debug window's lists cannot show: the tag stack's text, ties in
// the average's rounding, and totals beyond 32 bits.
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "diagnostics/ProzessTable.h"

namespace pelorin {
namespace {

TEST(ProzessTable, TagShowsPendingStartsNewestFirstAsSignedReadings) {
    ProzessTable table;
    const std::size_t r = table.IndexOf("P");
    table.Start(r, 5100);
    table.Start(r, 5230);
    EXPECT_EQ(table.Row(r).TagText(), "5230|5100|");
    table.Start(r, 0xFFFFFFF0u);
    EXPECT_EQ(table.Row(r).TagText(), "-16|5230|5100|");
    table.End(r, 0x0000000Au);
    EXPECT_EQ(table.Row(r).TagText(), "5230|5100|");
    EXPECT_EQ(table.Row(r).total, 26);
}

TEST(ProzessTable, AverageHalfGoesToTheEvenNeighbour) {
    ProzessTable table;
    const std::size_t r = table.IndexOf("P");
    table.Start(r, 0);
    table.End(r, 1);  // 1 ms in 8 runs: .125
    for (int i = 0; i < 7; ++i) {
        table.Start(r, 5);
        table.End(r, 5);
    }
    EXPECT_DOUBLE_EQ(table.Row(r).average, 0.12);
    EXPECT_EQ(table.Row(r).longest, 1);
}

TEST(ProzessTable, TotalsGrowBeyondThirtyTwoBits) {
    ProzessTable table;
    const std::size_t r = table.IndexOf("P");
    constexpr std::uint32_t kLong = std::numeric_limits<std::int32_t>::max();
    for (int i = 0; i < 3; ++i) {
        table.Start(r, 0);
        table.End(r, kLong);
    }
    EXPECT_EQ(table.Row(r).total, 3 * static_cast<std::int64_t>(kLong));
    EXPECT_EQ(table.Row(r).longest, static_cast<std::int32_t>(kLong));
}

}  // namespace
}  // namespace pelorin
