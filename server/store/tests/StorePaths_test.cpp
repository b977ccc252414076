// The request path's way to a store path, the names the store refuses, and the three
// existence tests on real folders.
#include <string>

#include <gtest/gtest.h>

#include "StoreFixture.h"
#include "base/RuntimeError.h"
#include "server/store/StorePaths.h"

namespace pelorin {
namespace {

using testing::StoreFixture;

TEST(StoreName, MapsRequestTargetsBelowTheDataFolder) {
    struct Case {
        std::string target;
        std::string name;
    };
    const Case cases[] = {
        {"/a/b.txt", "\\a\\btxt"},      // every full stop goes
        {"/../x", "\\x"},               // so nothing climbs out
        {"/a/../../b", "\\a\\\\b"},     // four separators fold to two
        {"", "\\"},                     // the data folder itself
        {"/", "\\"},                    //
        {"x", "\\x"},                   // a leading separator is added
        {"a\\b", "\\a\\b"},             //
        {"///", "\\\\"},                // three separators fold to two, once
        {"////", "\\\\"},               // four fold to two
        {"/a/", "\\a\\"},               // a folder keeps its trailing separator
        {"/A%20b?q=1", "\\A%20b?q=1"},  // no decoding, no query handling
    };
    for (const Case& c : cases) EXPECT_EQ(StoreNameOf(c.target), c.name) << c.target;
    EXPECT_EQ(StorePathOf("D:\\p\\data", "/x.y/z"), "D:\\p\\data\\xy\\z");
}

TEST(StoreName, RefusesWhatTheFileSystemRefuses) {
    const std::string refused[] = {
        std::string("\\a\0b", 4),
        "\\a\tb",
        "\\a\x1F",
        "\\a<b",
        "\\a>b",
        "\\a:b",  // a data stream on Windows
        "\\a\"b",
        "\\a|b",
        "\\nul",  // devices, in any folder and any letter case
        "\\CON\\",
        "\\a\\Aux\\b",
        "\\prn",
        "\\com1",
        "\\LPT9",
        "\\conin$",
        "\\ ",  // parts of spaces only stand for the folder around them
        "\\a\\  \\",
        "\\ \\b",
    };
    for (const std::string& name : refused) {
        EXPECT_EQ(RefusedNameError(name, true), errors::kBadFileNameOrNumber) << name;
        EXPECT_EQ(RefusedNameError(name, false), errors::kBadFileNameOrNumber) << name;
    }
}

TEST(StoreName, PatternsOnlyWhereAllowed) {
    for (const std::string name : {"\\a*", "\\a?b", "\\*\\x"}) {
        EXPECT_EQ(RefusedNameError(name, false), errors::kBadFileNameOrNumber) << name;
        EXPECT_EQ(RefusedNameError(name, true), 0) << name;
    }
    // Spaces, high bytes, percent signs and separators are ordinary name characters.
    EXPECT_EQ(RefusedNameError("\\a b\\\xE4%20\\", false), 0);
    // Names that only begin like a device are ordinary.
    for (const std::string name : {"\\nul1", "\\console", "\\com10", "\\lpt", "\\auxx\\con1"}) {
        EXPECT_EQ(RefusedNameError(name, false), 0) << name;
    }
}

using ExistenceTests = StoreFixture;

TEST_F(ExistenceTests, PlainFileTestTakesOnlyFiles) {
    Put("f", "x");
    MakeDir("d");
    EXPECT_TRUE(PlainFileExists(InData("f")));
    EXPECT_TRUE(PlainFileExists(InData("F")));  // letter case does not count
    EXPECT_FALSE(PlainFileExists(InData("d")));
    EXPECT_FALSE(PlainFileExists(InData("missing")));
    EXPECT_FALSE(PlainFileExists(InData("missing\\f")));
    EXPECT_TRUE(PlainFileExists(InData("?")));  // patterns act as wildcards
    EXPECT_FALSE(PlainFileExists(InData("d*")));
}

TEST_F(ExistenceTests, PlainFileTestOfAFolderPathLooksInside) {
    MakeDir("d");
    EXPECT_FALSE(PlainFileExists(InData("d\\")));  // only "." and ".." inside
    MakeDir("d\\sub");
    EXPECT_FALSE(PlainFileExists(InData("d\\")));
    Put("d\\f", "");
    EXPECT_TRUE(PlainFileExists(InData("d\\")));
}

TEST_F(ExistenceTests, EntryAndFolderTests) {
    Put("f", "x");
    MakeDir("d");
    EXPECT_TRUE(EntryExists(InData("d")));
    EXPECT_TRUE(EntryExists(InData("f")));  // a file of that name counts too
    EXPECT_FALSE(EntryExists(InData("g")));
    EXPECT_TRUE(FolderExists(InData("d\\")));  // empty, but it has its "." entry
    EXPECT_TRUE(FolderExists(Data() + "\\"));
    EXPECT_FALSE(FolderExists(InData("g\\")));
    EXPECT_FALSE(FolderExists(InData("f\\")));
}

}  // namespace
}  // namespace pelorin
