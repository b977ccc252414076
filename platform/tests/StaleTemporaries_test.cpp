// The temporaries a dead process left are removed, in the folder and below; files that
// only look like temporaries stay.
#include "platform/StaleTemporaries.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Files.h"
#include "testing/TempFolder.h"

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

TEST(StaleTemporaries, NamesOfTemporariesCarryTheirProcess) {
    EXPECT_EQ(TemporaryFileProcess(kPrefix + "4711-2"), 4711u);
    EXPECT_EQ(TemporaryFileProcess(kPrefix + kEnded + "-10"), 2000000000u);
    for (const std::string& other :
         {std::string("4711-2"), kPrefix + "notes", kPrefix + "4711-", kPrefix + "-2",
          kPrefix + "4711-2x", kPrefix + "47x1-2", kPrefix + "99999999999-1", kPrefix}) {
        EXPECT_EQ(TemporaryFileProcess(other), 0u) << other;
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

}  // namespace
}  // namespace pelorin::platform
