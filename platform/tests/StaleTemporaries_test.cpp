// The temporaries a dead process left are removed, in the folder and below; a file it
// had moved aside gets its name back; files that only look like temporaries stay.
#include "platform/StaleTemporaries.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/Files.h"
#include "platform/TemporaryNames.h"
#include "testing/TempFolder.h"
#include "testing/TestSystem.h"

namespace pelorin::platform {
namespace {

using testing::TempFolder;

const std::string kPrefix(kTemporaryFilePrefix);
// Above every process number Linux hands out, and no process on Windows either.
const std::string kEnded = "2000000000";

bool Exists(const std::string& path) {
    std::string ignored;
    return ReadWholeFile(path, ignored) == 0;
}

// Each file's name and content.
using Files = std::map<std::string, std::string>;

Files FilesIn(const std::string& folder) {
    Files files;
    DirectorySearch search(folder + "*");
    FileEntry entry;
    while (search.Next(entry)) {
        if (entry.attributes & kAttrDirectory) continue;
        ReadWholeFile(folder + entry.name, files[entry.name]);
    }
    return files;
}

TEST(StaleTemporaries, NamesOfTemporariesCarryTheirProcess) {
    EXPECT_EQ(TemporaryFileProcess(kPrefix + "4711-2"), 4711u);
    EXPECT_EQ(TemporaryFileProcess(kPrefix + kEnded + "-10"), 2000000000u);
    for (const std::string& other :
         {std::string("4711-2"), kPrefix + "notes", kPrefix + "4711-", kPrefix + "-2",
          kPrefix + "4711-2x", kPrefix + "47x1-2", kPrefix + "99999999999-1", kPrefix}) {
        EXPECT_EQ(TemporaryFileProcess(other), 0u) << other;
    }
}

TEST(StaleTemporaries, AsideNamesCarryTheirProcessAndTheFilesOwnName) {
    for (const std::string item : {"item", "4711-2", "-", "x-1-y", "a b", ".hidden"}) {
        const std::string name = AsideFileName(4711, 12, item);
        const AsideFile aside = AsideFileOf(name);  // views into `name`
        EXPECT_EQ(aside.process, 4711u) << item;
        EXPECT_EQ(aside.item, item);
    }
    const std::string prefix(kAsideFilePrefix);
    for (const std::string& other :
         {prefix + "7-3", prefix + "7-3-", prefix + "7--item", prefix + "-3-item",
          prefix + "0-3-item", prefix + "7-3x-item", prefix + "7-3-..", prefix + "7-3-a\\b",
          kPrefix + "7-3-item", std::string("7-3-item")}) {
        EXPECT_EQ(AsideFileOf(other).process, 0u) << other;
    }
}

// Killed between moving a file that was being read aside and renaming the new content to
// its name, a process leaves both under hidden names: the file moved aside takes its name
// back, unless that name was taken since.
TEST(StaleTemporaries, AFileMovedAsideGetsItsNameBackWhenItIsMissing) {
    const std::string ended = AsideFileName(2000000000, 1, "item");
    // This version never gives these names; one with its own number is an earlier start's.
    const std::string own = AsideFileName(testing::OwnProcessNumber(), 1, "item");
    const std::string prefix(kAsideFilePrefix);
    const Files lookalikes = {{prefix + "x-1-item", "a"},
                              {prefix + kEnded + "-1-", "b"},
                              {prefix + kEnded + "-1", "c"},
                              {prefix + kEnded + "--item", "d"},
                              {prefix + kEnded + "-1x-item", "e"}};
    const struct {
        const char* label;
        Files before;
        Files after;
    } rows[] = {
        {"ended, the name missing: the old content is back",
         {{ended, "old"}, {kPrefix + kEnded + "-2", "new"}},
         {{"item", "old"}}},
        {"ended, the name taken: the file moved aside goes",
         {{ended, "old"}, {"item", "newer"}},
         {{"item", "newer"}}},
        {"the own process number: an earlier start's, the old content is back",
         {{own, "old"}},
         {{"item", "old"}}},
        {"look-alikes: stay", lookalikes, lookalikes},
    };
    for (const auto& row : rows) {
        TempFolder folder;
        for (const auto& [name, content] : row.before) {
            ASSERT_EQ(WriteWholeFile(folder.path() + name, content), 0) << row.label;
        }
        RemoveStaleTemporaries(folder.path());
        EXPECT_EQ(FilesIn(folder.path()), row.after) << row.label;
    }
}

TEST(StaleTemporaries, OnlyThoseOfEndedProcessesGo) {
    TempFolder folder;
    const std::string stale = kPrefix + kEnded + "-1";
    const std::string lookalikes[] = {kPrefix + "notes", kPrefix + kEnded + "-x", ".hidden",
                                      "item"};
    ASSERT_EQ(MakeFolder(folder.path() + "sub"), 0);
    const std::string staleLookingFolder = kPrefix + kEnded + "-2";  // not a file: stays
    ASSERT_EQ(MakeFolder(folder.path() + "sub\\" + staleLookingFolder), 0);
    for (const std::string& where : {folder.path(), folder.path() + "sub\\"}) {
        ASSERT_EQ(WriteWholeFile(where + stale, "half"), 0);
        for (const auto& name : lookalikes) ASSERT_EQ(WriteWholeFile(where + name, "x"), 0);
    }
    RemoveStaleTemporaries(folder.path());
    for (const std::string& where : {folder.path(), folder.path() + "sub\\"}) {
        EXPECT_FALSE(Exists(where + stale)) << where;
        for (const auto& name : lookalikes) EXPECT_TRUE(Exists(where + name)) << where << name;
    }
    EXPECT_EQ(RemoveFolder(folder.path() + "sub\\" + staleLookingFolder), 0);
}

// The hidden folder of the temporaries: at a start that holds it alone, whatever an earlier
// start left goes (a file moved aside back to its name); the running start's own stay.
TEST(StaleTemporaries, AStartRemovesEveryTemporaryOfAnEarlierStart) {
    TempFolder folder;
    const std::string data = folder.path() + "data";
    const std::string hidden = data + "\\" + std::string(kTemporaryFolderName) + "\\";
    const std::string earlier = "zzzzzzzzzzzzzzzz";
    ASSERT_NE(StartIdentity(), earlier);
    ASSERT_EQ(MakeFolder(data), 0);
    ASSERT_EQ(MakeFolder(data + "\\sub"), 0);
    ASSERT_EQ(MakeFolder(hidden), 0);
    ASSERT_EQ(WriteWholeFile(data + "\\taken", "newer"), 0);
    const Files before = {
        {TemporaryName(earlier, 1), "half"},
        {TemporaryName(StartIdentity(), 999999), "running"},
        {AsideName(earlier, 2, "\\sub\\item"), "old"},
        {AsideName(earlier, 3, "\\taken"), "older"},
        {AsideName(earlier, 4, "\\gone\\item"), "folder gone"},
        {"notes", "not ours"},
    };
    for (const auto& [name, content] : before) {
        ASSERT_EQ(WriteWholeFile(hidden + name, content), 0) << name;
    }
    ASSERT_TRUE(OpenTemporaryFolder(data));
    Files after = {{TemporaryName(StartIdentity(), 999999), "running"}, {"notes", "not ours"}};
    after[std::string(kTemporaryLockName)] = "";
    EXPECT_EQ(FilesIn(hidden), after);
    EXPECT_EQ(FilesIn(data + "\\sub\\"), (Files{{"item", "old"}}));
    EXPECT_EQ(FilesIn(data + "\\"), (Files{{"taken", "newer"}}));

    // The new content of a file below the data folder waits in the hidden folder.
    FileReplacement replacement;
    ASSERT_EQ(replacement.Begin(data + "\\sub\\item"), 0);
    ASSERT_EQ(replacement.Write("new"), 0);
    EXPECT_EQ(FilesIn(hidden).size(), after.size() + 1);
    EXPECT_EQ(FilesIn(data + "\\sub\\"), (Files{{"item", "old"}}));
    ASSERT_EQ(replacement.Commit(), 0);
    EXPECT_EQ(FilesIn(hidden), after);
    EXPECT_EQ(FilesIn(data + "\\sub\\"), (Files{{"item", "new"}}));
    CloseTemporaryFolder();
}

}  // namespace
}  // namespace pelorin::platform
