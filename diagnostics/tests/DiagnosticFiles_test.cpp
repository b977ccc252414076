// The procedure stack file and the trace files, which are what is left on disk to show
// where the program was after an abnormal end.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DiagnosticsFixture.h"
#include "diagnostics/Debug_Modul.h"
#include "diagnostics/DiagnosticFiles.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

using testing::DiagnosticsTest;
using ProzessFiles = DiagnosticsTest;

TEST(StackText, DepthAndDropLastField) {
    EXPECT_EQ(StackDepth(""), 0u);
    EXPECT_EQ(StackDepth("Event CSocket_DataArrival|WebClient_GetPage|"), 2u);
    EXPECT_EQ(DropLastField("Event CSocket_DataArrival|WebClient_GetPage|"),
              "Event CSocket_DataArrival|");
    EXPECT_EQ(DropLastField("A|"), "");
    EXPECT_EQ(DropLastField(""), "");
    EXPECT_EQ(DropLastField("|"), "");
}

TEST_F(ProzessFiles, StackFileFollowsStartsAndEnds) {
    SetDebugFileOn(true);
    ProzessStart("A");
    EXPECT_EQ(folder_->Read("debugfile.prozesse"), "A|\r\n");
    ProzessStart("B");
    EXPECT_EQ(folder_->Read("debugfile.prozesse"), "A|B|\r\n");
    ProzessEnd("B");
    EXPECT_EQ(folder_->Read("debugfile.prozesse"), "A|\r\n");
    ProzessEnd("A");
    EXPECT_EQ(folder_->Read("debugfile.prozesse"), "\r\n");
    EXPECT_EQ(ProzessStack(), "");
    // Without PROZESSINFO no trace file is made.
    EXPECT_EQ(folder_->Names(), std::vector<std::string>{"debugfile.prozesse"});
}

TEST_F(ProzessFiles, EndDropsTheNewestEntryWhateverItsName) {
    SetDebugFileOn(true);
    ProzessStart("A");
    ProzessStart("B");
    ProzessEnd("A");
    EXPECT_EQ(ProzessStack(), "A|");
}

TEST_F(ProzessFiles, EndWithNothingRunningLeavesAnEmptyStack) {
    SetDebugFileOn(true);
    ProzessEnd("A");
    EXPECT_EQ(ProzessStack(), "");
    EXPECT_EQ(folder_->Read("debugfile.prozesse"), "\r\n");
}

TEST_F(ProzessFiles, TraceFilePerDepthGoesWhenItsProcedureEnds) {
    SetDebugFileOn(true);
    SetProzessInfoOn(true);
    ProzessStart("A");
    ProzessStart("B");
    ProzessInfo("reading header");
    EXPECT_EQ(folder_->Read("debugfile.prozessinfo.2"),
              ">> B <<\r\nStart...\r\nreading header\r\n");

    ProzessEnd("B");

    EXPECT_EQ(folder_->Read("debugfile.prozesse"), "A|\r\n");
    EXPECT_FALSE(folder_->Has("debugfile.prozessinfo.2"));
    EXPECT_EQ(folder_->Read("debugfile.prozessinfo.1"), ">> A <<\r\nStart...\r\n");
    ProzessInfo("after B");
    EXPECT_EQ(folder_->Read("debugfile.prozessinfo.1"), ">> A <<\r\nStart...\r\nafter B\r\n");
}

TEST_F(ProzessFiles, StartTruncatesAnOldTraceFileOfItsDepth) {
    folder_->Write("debugfile.prozessinfo.1", "left by a crash\r\n");
    SetDebugFileOn(true);
    SetProzessInfoOn(true);
    ProzessStart("A");
    EXPECT_EQ(folder_->Read("debugfile.prozessinfo.1"), ">> A <<\r\nStart...\r\n");
}

TEST_F(ProzessFiles, ProzessInfoAloneCollectsEverythingInDepthZero) {
    SetProzessInfoOn(true);
    ProzessStart("A");
    ProzessInfo("one");
    ProzessStart("B");
    ProzessInfo("two");
    ProzessEnd("B");
    ProzessEnd("A");
    ProzessInfo("three");
    EXPECT_EQ(folder_->Names(), std::vector<std::string>{"debugfile.prozessinfo.0"});
    EXPECT_EQ(folder_->Read("debugfile.prozessinfo.0"), "one\r\ntwo\r\nthree\r\n");
}

// A trace text handed over as a callable is put together exactly when it is written.
TEST_F(ProzessFiles, CallableTextIsBuiltExactlyWhenTheTraceIsWritten) {
    struct Row {
        const char* label;
        bool ready;
        bool prozessInfo;
        bool written;
    };
    const Row rows[] = {
        {"no switch", true, false, false},
        {"PROZESSINFO", true, true, true},
        {"PROZESSINFO before ready", false, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string traceBefore = folder_->Read("debugfile.prozessinfo.0");
        SetProzessInfoOn(row.prozessInfo);
        SetDebugReady(row.ready);
        bool built = false;
        ProzessInfo([&] {
            built = true;
            return std::string("built");
        });
        EXPECT_EQ(ProzessInfoWanted(), row.written);
        EXPECT_EQ(built, row.written);
        EXPECT_EQ(folder_->Read("debugfile.prozessinfo.0") != traceBefore, row.written);
        SetDebugReady(true);
    }
}

TEST_F(ProzessFiles, FilesFollowTheHooksAfterUnloading) {
    SetDebugFileOn(true);
    SetProzessInfoOn(true);
    SetUnloading(true);
    ProzessStart("A");
    EXPECT_EQ(folder_->Read("debugfile.prozesse"), "A|\r\n");
    EXPECT_TRUE(folder_->Has("debugfile.prozessinfo.1"));
}

TEST_F(ProzessFiles, UnwritableFolderBreaksNothing) {
    SetProgramFolderPath(folder_->PathWithSeparator() + "missing-folder");
    SetDebugFileOn(true);
    SetProzessInfoOn(true);
    ShowDebugWindow();
    SetNow(10);
    ProzessStart("A");
    ProzessInfo("lost");
    SetNow(15);
    ProzessEnd("A");
    EXPECT_EQ(ProzessStack(), "");
    EXPECT_EQ(GetProzessTable().Row(1).total, 5);
}

TEST_F(ProzessFiles, ResetDeletesTheStackFileButKeepsOldTraces) {
    folder_->Write("debugfile.prozesse", "A|B|\r\n");
    folder_->Write("debugfile.prozessinfo.2", ">> B <<\r\n");
    ResetDiagnostics();
    EXPECT_EQ(folder_->Names(), std::vector<std::string>{"debugfile.prozessinfo.2"});
}

TEST_F(ProzessFiles, ResetClearsTheStack) {
    SetDebugFileOn(true);
    ProzessStart("A");
    ResetDiagnostics();
    SetDebugFileOn(true);
    ProzessStart("B");
    EXPECT_EQ(folder_->Read("debugfile.prozesse"), "B|\r\n");
}

}  // namespace
}  // namespace pelorin
