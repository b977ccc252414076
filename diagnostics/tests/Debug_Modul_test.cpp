// WriteLog: which switches write "log.txt", which reach the debug window.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DiagnosticsFixture.h"
#include "diagnostics/Debug_Modul.h"
#include "platform/Window.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

using testing::DiagnosticsTest;

std::string BoxText() {
    return platform::GetWindowTextBytes(GetDebugForm().Text1());
}

using DebugLog = DiagnosticsTest;

TEST_F(DebugLog, NoSwitchesWriteNothingAnywhere) {
    WriteLog("Programmstart");
    ObjectCreated("WebServer");
    ProzessStart("CSocket_Connect");
    ProzessInfo("step");
    ProzessEnd("CSocket_Connect");
    EXPECT_EQ(folder_->Names(), std::vector<std::string>{});
    EXPECT_FALSE(GetDebugForm().IsLoaded());
    EXPECT_EQ(GetClassCounts().Size(), 0u);
    EXPECT_EQ(GetProzessTable().Size(), 0u);
}

TEST_F(DebugLog, LevelsTwoAndThreeAppendOneLinePerEntry) {
    for (int level : {2, 3}) {
        SetLogLevel(static_cast<std::int16_t>(level));
        WriteLog("level " + std::to_string(level));
    }
    WriteLog("");
    EXPECT_EQ(folder_->Read("log.txt"), "level 2\r\nlevel 3\r\n\r\n");
}

TEST_F(DebugLog, OtherLevelsWriteNoFile) {
    for (int level : {0, 1, 4, -2, 32767}) {
        SetLogLevel(static_cast<std::int16_t>(level));
        WriteLog("nothing");
    }
    EXPECT_FALSE(folder_->Has("log.txt"));
}

TEST_F(DebugLog, ExistingLogIsAppendedToNeverTruncated) {
    folder_->Write("log.txt", "earlier run\r\n");
    SetLogLevel(2);
    WriteLog("Programmstart");
    EXPECT_EQ(folder_->Read("log.txt"), "earlier run\r\nProgrammstart\r\n");
}

TEST_F(DebugLog, NothingIsWrittenBeforeDebugReady) {
    SetDebugReady(false);
    SetLogLevel(2);
    ShowDebugWindow();
    WriteLog("too early");
    EXPECT_FALSE(folder_->Has("log.txt"));
    EXPECT_EQ(BoxText(), "");
}

TEST_F(DebugLog, ShownWindowTakesEachLine) {
    ShowDebugWindow();
    WriteLog("Programmstart");
    WriteLog("");
    WriteLog("LoadStandard");
    EXPECT_EQ(BoxText(), "Programmstart\r\n\r\nLoadStandard\r\n");
    EXPECT_FALSE(folder_->Has("log.txt"));
}

TEST_F(DebugLog, LinesAfterUnloadingReachTheFileButNotTheWindow) {
    SetLogLevel(3);
    ShowDebugWindow();
    WriteLog("Unloading now...");
    SetUnloading(true);
    WriteLog("Exit");
    EXPECT_EQ(folder_->Read("log.txt"), "Unloading now...\r\nExit\r\n");
    EXPECT_EQ(BoxText(), "Unloading now...\r\n");
}

TEST_F(DebugLog, UnwritableLogStillReachesTheWindow) {
    SetProgramFolderPath(folder_->PathWithSeparator() + "missing-folder");
    SetLogLevel(2);
    ShowDebugWindow();
    WriteLog("kept in the window");
    EXPECT_EQ(BoxText(), "kept in the window\r\n");
}

TEST_F(DebugLog, LongEntryIsCutInTheWindowButWholeInTheFile) {
    SetLogLevel(2);
    ShowDebugWindow();
    WriteLog("first");
    const std::string entry(40000, 'x');
    WriteLog(entry);
    EXPECT_EQ(BoxText(), std::string(100, 'x') + "...\r\n");
    EXPECT_EQ(folder_->Read("log.txt"), "first\r\n" + entry + "\r\n");
}

// A text handed over as a callable is put together exactly when WriteLog keeps it
// somewhere: a line must never be built for nothing, nor lost for want of building.
TEST_F(DebugLog, CallableTextIsBuiltExactlyWhenTheLineIsKept) {
    struct Row {
        const char* label;
        bool ready;
        std::int16_t level;
        bool window;
        bool unloading;
        bool kept;
    };
    const Row rows[] = {
        {"no switch", true, 0, false, false, false},
        {"level 1", true, 1, false, false, false},
        {"level 2", true, 2, false, false, true},
        {"level 3", true, 3, false, false, true},
        {"window", true, 0, true, false, true},
        {"window while unloading", true, 0, true, true, false},
        {"level 2 while unloading", true, 2, true, true, true},
        {"everything before ready", false, 2, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ResetDiagnostics();
        const std::string fileBefore = folder_->Read("log.txt");
        SetLogLevel(row.level);
        if (row.window) ShowDebugWindow();
        SetUnloading(row.unloading);
        SetDebugReady(row.ready);
        bool built = false;
        WriteLog([&] {
            built = true;
            return std::string("built");
        });
        const bool kept =
            folder_->Read("log.txt") != fileBefore || (row.window && BoxText() == "built\r\n");
        EXPECT_EQ(WriteLogWanted(), row.kept);
        EXPECT_EQ(built, row.kept);
        EXPECT_EQ(kept, row.kept);
        SetUnloading(false);
        SetDebugReady(true);
    }
}

TEST_F(DebugLog, ResetTurnsEverySwitchOff) {
    SetLogLevel(2);
    SetDebugFileOn(true);
    SetProzessInfoOn(true);
    ShowDebugWindow();
    ProzessStart("A");
    ResetDiagnostics();
    EXPECT_EQ(LogLevel(), 0);
    EXPECT_FALSE(DebugFileOn());
    EXPECT_FALSE(ProzessInfoOn());
    EXPECT_FALSE(DebugWindowShown());
    EXPECT_EQ(ProzessStack(), "");
}

}  // namespace
}  // namespace pelorin
