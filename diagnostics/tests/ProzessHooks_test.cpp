// The statistics hooks as the debug window's lists show them.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DiagnosticsFixture.h"
#include "diagnostics/Debug_Modul.h"
#include "platform/Ui.h"
#include "platform/Window.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

using platform::ReportListCell;
using platform::ReportListRowCount;
using testing::DiagnosticsTest;

// Row `row` (from 0) of a list, all columns.
std::vector<std::string> Row(platform::WindowHandle list, int row, int columns) {
    std::vector<std::string> cells;
    for (int c = 0; c < columns; ++c) cells.push_back(ReportListCell(list, row, c));
    return cells;
}

std::vector<std::string> ClassRow(int row) {
    return Row(GetDebugForm().ListView1(), row, 2);
}
std::vector<std::string> ProzessRow(int row) {
    return Row(GetDebugForm().ListView2(), row, 5);
}

class Statistics : public DiagnosticsTest {
  protected:
    void SetUp() override {
        DiagnosticsTest::SetUp();
        ShowDebugWindow();
    }
    // One run of `name` from counter reading `start` to `end`.
    static void Run(const std::string& name, std::uint32_t start, std::uint32_t end) {
        SetNow(start);
        ProzessStart(name);
        SetNow(end);
        ProzessEnd(name);
    }
};

TEST_F(Statistics, ClassRowsShowLiveObjects) {
    ObjectCreated("WebServerClient");
    EXPECT_EQ(ClassRow(0), (std::vector<std::string>{"WebServerClient", "1"}));
    ObjectCreated("CSocket");
    ObjectCreated("WebServerClient");
    ObjectDestroyed("WebServerClient");
    EXPECT_EQ(ReportListRowCount(GetDebugForm().ListView1()), 2);
    EXPECT_EQ(ClassRow(0), (std::vector<std::string>{"WebServerClient", "1"}));
    EXPECT_EQ(ClassRow(1), (std::vector<std::string>{"CSocket", "1"}));
}

TEST_F(Statistics, ClassNamesAreCaseSensitive) {
    ObjectCreated("CSocket");
    ObjectCreated("csocket");
    EXPECT_EQ(ClassRow(0), (std::vector<std::string>{"CSocket", "1"}));
    EXPECT_EQ(ClassRow(1), (std::vector<std::string>{"csocket", "1"}));
}

TEST_F(Statistics, CountsBelowZeroAreShownWithTheirSign) {
    ObjectCreated("ATimer");
    ObjectDestroyed("ATimer");
    ObjectDestroyed("ATimer");
    ObjectDestroyed("UnknownClass");
    EXPECT_EQ(ReportListRowCount(GetDebugForm().ListView1()), 1);
    EXPECT_EQ(ClassRow(0), (std::vector<std::string>{"ATimer", "-1"}));
}

TEST_F(Statistics, NothingIsCountedWithoutTheWindow) {
    ResetDiagnostics();
    ObjectCreated("ATimer");
    ProzessStart("A");
    EXPECT_EQ(GetClassCounts().Size(), 0u);
    EXPECT_EQ(GetProzessTable().Size(), 0u);
}

TEST_F(Statistics, ListsFreezeOnceUnloading) {
    ObjectCreated("ATimer");
    SetUnloading(true);
    ObjectCreated("ATimer");
    ObjectCreated("CSocket");
    Run("A", 0, 5);
    EXPECT_EQ(ReportListRowCount(GetDebugForm().ListView1()), 1);
    EXPECT_EQ(ClassRow(0), (std::vector<std::string>{"ATimer", "1"}));
    EXPECT_EQ(GetProzessTable().Size(), 0u);
}

TEST_F(Statistics, StartAddsARowOfZeros) {
    SetNow(5100);
    ProzessStart("WebClient_GetPage");
    EXPECT_EQ(ProzessRow(0), (std::vector<std::string>{"WebClient_GetPage", "0", "0", "0", "0"}));
    EXPECT_EQ(GetProzessTable().Row(1).TagText(), "5100|");
}

TEST_F(Statistics, TwoRunsShowCountTotalAverageAndLongest) {
    Run("Event CSocket_DataArrival", 1000, 1010);
    Run("Event CSocket_DataArrival", 2000, 2021);
    EXPECT_EQ(ProzessRow(0),
              (std::vector<std::string>{"Event CSocket_DataArrival", "15.5", "21", "2", "31"}));
}

TEST_F(Statistics, AverageShowsTwoPlaces) {
    Run("P", 0, 1);
    Run("P", 0, 2);
    Run("P", 0, 2);
    EXPECT_EQ(ReportListCell(GetDebugForm().ListView2(), 0, 1), "1.67");
}

TEST_F(Statistics, AverageBelowOneHasNoLeadingZero) {
    Run("P", 0, 1);
    Run("P", 0, 0);
    EXPECT_EQ(ProzessRow(0), (std::vector<std::string>{"P", ".5", "1", "2", "1"}));
}

TEST_F(Statistics, RecursiveRunsAreTimedFromTheirOwnStarts) {
    SetNow(100);
    ProzessStart("A");
    SetNow(150);
    ProzessStart("A");
    EXPECT_EQ(GetProzessTable().Row(1).TagText(), "150|100|");
    SetNow(160);
    ProzessEnd("A");
    EXPECT_EQ(ProzessRow(0), (std::vector<std::string>{"A", "10", "10", "1", "10"}));
    SetNow(200);
    ProzessEnd("A");
    EXPECT_EQ(ProzessRow(0), (std::vector<std::string>{"A", "55", "100", "2", "110"}));
}

TEST_F(Statistics, RunAcrossTheCounterWrap) {
    Run("P", 0xFFFFFFFBu, 4u);
    EXPECT_EQ(GetProzessTable().Row(1).TagText(), "");
    EXPECT_EQ(ProzessRow(0), (std::vector<std::string>{"P", "9", "9", "1", "9"}));
}

TEST_F(Statistics, EndWithoutStartFailsNothingAndChangesNothing) {
    Run("P", 0, 7);
    SetNow(50);
    ProzessEnd("P");
    ProzessEnd("Never started");
    EXPECT_EQ(ProzessRow(0), (std::vector<std::string>{"P", "7", "7", "1", "7"}));
    EXPECT_EQ(ProzessRow(1), (std::vector<std::string>{"Never started", "0", "0", "0", "0"}));
}

TEST_F(Statistics, ProceduresKeepTheirRowsInOrderOfFirstUse) {
    Run("B", 0, 1);
    Run("A", 0, 2);
    Run("B", 0, 3);
    EXPECT_EQ(GetIndexOfProzess("B"), 1u);
    EXPECT_EQ(GetIndexOfProzess("A"), 2u);
    EXPECT_EQ(ProzessRow(0)[0], "B");
    EXPECT_EQ(ProzessRow(0)[3], "2");
    EXPECT_EQ(ProzessRow(1)[0], "A");
}

TEST_F(Statistics, EmptyNameIsLoggedAndUsedAsAName) {
    SetLogLevel(2);
    Run("  ", 0, 4);
    const std::string error = "ERROR in GetIndexOfProzess: TheName = \"\"";
    EXPECT_EQ(folder_->Read("log.txt"), error + "\r\n" + error + "\r\n");
    EXPECT_EQ(platform::GetWindowTextBytes(GetDebugForm().Text1()),
              error + "\r\n" + error + "\r\n");
    EXPECT_EQ(ProzessRow(0), (std::vector<std::string>{"  ", "4", "4", "1", "4"}));
}

TEST_F(Statistics, ResetEmptiesBothTables) {
    ObjectCreated("ATimer");
    Run("P", 0, 1);
    ResetDiagnostics();
    EXPECT_EQ(GetClassCounts().Size(), 0u);
    EXPECT_EQ(GetProzessTable().Size(), 0u);
    ShowDebugWindow();
    ObjectCreated("CSocket");
    EXPECT_EQ(ReportListRowCount(GetDebugForm().ListView1()), 1);
    EXPECT_EQ(ClassRow(0), (std::vector<std::string>{"CSocket", "1"}));
}

}  // namespace
}  // namespace pelorin
