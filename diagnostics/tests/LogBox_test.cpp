// The log box keeps below its limit by dropping whole lines from the top.
#include <string>

#include <gtest/gtest.h>

#include "diagnostics/LogBox.h"

namespace pelorin {
namespace {

// `count` lines of `length` characters each (line end included), line i made of the
// letter 'a' + i % 26.
std::string Lines(std::size_t count, std::size_t length) {
    std::string box;
    for (std::size_t i = 0; i < count; ++i) {
        box += std::string(length - 2, static_cast<char>('a' + i % 26));
        box += "\r\n";
    }
    return box;
}

TEST(LogBox, EmptyEntryAddsJustALineEnd) {
    EXPECT_EQ(AppendLogBoxLine("", ""), "\r\n");
    EXPECT_EQ(AppendLogBoxLine("one\r\n", ""), "one\r\n\r\n");
}

TEST(LogBox, EntryThatFitsIsAppendedWithoutDroppingAnything) {
    EXPECT_EQ(AppendLogBoxLine("one\r\n", "two"), "one\r\ntwo\r\n");
}

TEST(LogBox, NearlyFullBoxDropsOnlyAsManyTopLinesAsNeeded) {
    // 319 lines of 100 and one of 90: 31,990 characters.
    const std::string box = Lines(319, 100) + std::string(88, 'z') + "\r\n";
    ASSERT_EQ(box.size(), 31990u);
    const std::string entry(20, 'N');

    const std::string result = AppendLogBoxLine(box, entry);

    EXPECT_EQ(result.size(), 31990u - 100u + 22u);
    EXPECT_EQ(result, box.substr(100) + entry + "\r\n");
}

TEST(LogBox, ResultOfExactlyTheLimitKeepsEveryLine) {
    const std::string box = Lines(100, 319) + std::string(76, 'z') + "\r\n";
    ASSERT_EQ(box.size(), 31978u);
    const std::string result = AppendLogBoxLine(box, std::string(20, 'N'));
    EXPECT_EQ(result.size(), kLogBoxLimit);
    EXPECT_EQ(result.substr(0, box.size()), box);
}

TEST(LogBox, SeveralLinesGoWhenTheEntryIsLarge) {
    const std::string box = Lines(300, 100);
    const std::string entry(5000, 'N');
    const std::string result = AppendLogBoxLine(box, entry);
    // 30,000 + 5,002 is 3,002 too many: 31 lines of 100 go.
    EXPECT_EQ(result, box.substr(3100) + entry + "\r\n");
}

TEST(LogBox, TooLongEntryIntoAFilledBoxClearsItAndIsCut) {
    const std::string entry = std::string(100, 'x') + std::string(39900, 'y');
    const std::string result = AppendLogBoxLine(Lines(10, 50), entry);
    EXPECT_EQ(result, std::string(100, 'x') + "...\r\n");
}

TEST(LogBox, EntryThatJustFitsTheEmptyBoxIsNotCut) {
    const std::string entry(kLogBoxLimit - 2, 'x');
    EXPECT_EQ(AppendLogBoxLine("old\r\n", entry), entry + "\r\n");
    const std::string longer(kLogBoxLimit - 1, 'x');
    EXPECT_EQ(AppendLogBoxLine("", longer), std::string(100, 'x') + "...\r\n");
}

TEST(LogBox, BoxWithoutLineEndIsClearedWhenTheEntryDoesNotFit) {
    const std::string box(31000, 'q');  // no CR LF anywhere
    EXPECT_EQ(AppendLogBoxLine(box, std::string(1000, 'N')), std::string(1000, 'N') + "\r\n");
}

TEST(LogBox, LoneCarriageReturnsAndLineFeedsAreNotLineEnds) {
    // Only a CR LF pair ends a line: the first line here is "a\rb\nc".
    const std::string box = "a\rb\nc\r\n" + std::string(31990, 'q');
    const std::string result = AppendLogBoxLine(box, "new");
    EXPECT_EQ(result, std::string(31990, 'q') + "new\r\n");
}

}  // namespace
}  // namespace pelorin
