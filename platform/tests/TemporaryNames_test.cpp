// The names of the temporaries: what each kind carries, and what is none of ours.
#include "platform/TemporaryNames.h"

#include <gtest/gtest.h>

#include <string>

namespace pelorin::platform {
namespace {

const std::string kStart = "abcdefghijklmnop";

TEST(TemporaryNames, TheStartIdentityIsSixteenLettersAndStaysForTheProgramsLife) {
    const std::string& start = StartIdentity();
    EXPECT_EQ(start.size(), 16u);
    EXPECT_EQ(start.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << start;
    EXPECT_EQ(&StartIdentity(), &start);
    const std::uint32_t first = NextTemporaryCount();
    EXPECT_LT(first, NextTemporaryCount());
}

TEST(TemporaryNames, NamesCarryTheirStartAndAnAsideNameItsItem) {
    const struct {
        const char* label;
        std::string name;
        bool aside;
        std::string item;
    } rows[] = {
        {"temporary", TemporaryName(kStart, 7), false, ""},
        {"aside, top", AsideName(kStart, 7, "\\item"), true, "\\item"},
        {"aside, deeper", AsideName(kStart, 1, "\\a\\b c"), true, "\\a\\b c"},
        {"aside, escapes", AsideName(kStart, 1, "\\%5C%\\-1-"), true, "\\%5C%\\-1-"},
    };
    for (const auto& row : rows) {
        const TemporaryNameParts parts = TemporaryNameOf(row.name);
        EXPECT_EQ(parts.start, kStart) << row.label;
        EXPECT_EQ(parts.aside, row.aside) << row.label;
        EXPECT_EQ(parts.item, row.item) << row.label;
    }
}

TEST(TemporaryNames, OtherNamesAreNoneOfOurs) {
    const std::string kinds[] = {
        "lock",
        "item",
        "tmp-" + kStart,
        "tmp-" + kStart + "-",
        "tmp-" + kStart + "-1x",
        "tmp-abcdefghijklmno-1",   // fifteen letters
        "tmp-abcdefghijklmnoP-1",  // a capital
        "tmp-4711-1",              // an older version's process number
        ".pelorin-tmp-4711-1",
        "aside-" + kStart + "-1",
        "aside-" + kStart + "-1-",
        "aside-" + kStart + "-1-item",  // no path
        "aside-" + kStart + "-1-%5Citem%",
        "aside-" + kStart + "-1-%5Citem%41",
        "aside-" + kStart + "-1-%5C..%5Citem",
        "aside-" + kStart + "-1-%5Ca%5C%5Citem",
        "aside-" + kStart + "-1-%5Citem%5C",
        "aside-" + kStart + "-x-%5Citem",
    };
    for (const std::string& name : kinds) {
        EXPECT_EQ(TemporaryNameOf(name).start, "") << name;
    }
}

}  // namespace
}  // namespace pelorin::platform
