#include "DiagnosticsFixture.h"

#include "diagnostics/Debug_Modul.h"
#include "platform/Clock.h"
#include "settings/ProgramSettings.h"

namespace pelorin::testing {

void DiagnosticsTest::SetUp() {
    folder_.emplace();
    SetProgramFolderPath(folder_->PathWithSeparator());
    SetLineBreak("\r\n");
    SetUnloading(false);
    SetDebugReady(true);
    ResetDiagnostics();
    SetNow(0);
    platform::SetTickSourceForTests(&DiagnosticsTest::Now);
}

void DiagnosticsTest::TearDown() {
    platform::SetTickSourceForTests(nullptr);
    SetUnloading(false);
    ResetDiagnostics();
    SetDebugReady(false);
    SetProgramFolderPath("");
    folder_.reset();
}

}  // namespace pelorin::testing
