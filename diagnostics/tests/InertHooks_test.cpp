// The client library's hooks: callable like the full ones, with no effect at all.
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "TempProgramFolder.h"
#include "diagnostics/Hooks.h"
#include "diagnostics/ObjectTrace.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

TEST(InertHooks, WriteNothingEvenWhenReady) {
    testing::TempProgramFolder folder;
    SetProgramFolderPath(folder.PathWithSeparator());
    SetDebugReady(true);
    {
        ObjectTrace trace("WebClient");
        ProzessScope scope("WebClient_GetPage");
        WriteLog("Programmstart");
        ProzessInfo("step");
    }
    EXPECT_TRUE(folder.Names().empty());
    SetDebugReady(false);
    SetProgramFolderPath("");
}

TEST(InertHooks, NoTextIsEverBuilt) {
    SetDebugReady(true);
    bool built = false;
    const auto make = [&] {
        built = true;
        return std::string("built");
    };
    WriteLog(make);
    ProzessInfo(make);
    EXPECT_FALSE(WriteLogWanted());
    EXPECT_FALSE(ProzessInfoWanted());
    EXPECT_FALSE(built);
    SetDebugReady(false);
}

TEST(InertHooks, FlagsAreKeptPerThread) {
    SetDebugReady(true);
    SetUnloading(true);
    bool otherReady = true;
    bool otherUnloading = true;
    std::thread([&] {
        otherReady = IsDebugReady();
        otherUnloading = IsUnloading();
    }).join();
    EXPECT_TRUE(IsDebugReady());
    EXPECT_TRUE(IsUnloading());
    EXPECT_FALSE(otherReady);
    EXPECT_FALSE(otherUnloading);
    SetDebugReady(false);
    SetUnloading(false);
}

}  // namespace
}  // namespace pelorin
