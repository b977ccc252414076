#include "server/MainCode.h"

#include <memory>

#include "diagnostics/Debug_Modul.h"
#include "diagnostics/SharedValues.h"
#include "net/Timer_Modul.h"
#include "net/WebClient.h"
#include "platform/MemoryUse.h"
#include "platform/MessageQueue.h"
#include "platform/Process.h"
#include "platform/StopRequests.h"
#include "platform/Ui.h"
#include "server/CommandLine.h"
#include "server/MainForm.h"

namespace pelorin {
namespace {

// The one server window, from its loading to the end of the message loop.
std::unique_ptr<MainForm> gMainForm;

void ApplySwitch(const Switch& found, WindowOptions& options) {
    switch (found.kind) {
        case SwitchKind::DebugFile:
            SetDebugFileOn(true);
            break;
        case SwitchKind::Debug:
            ShowDebugWindow();
            break;
        case SwitchKind::Log:
            SetLogLevel(found.logLevel);
            break;
        case SwitchKind::ProzessInfo:
            SetProzessInfoOn(true);
            break;
        case SwitchKind::Port:
            options.portText = found.portText;
            break;
        case SwitchKind::Start:
            options.startServer = true;
            break;
        case SwitchKind::None:
            break;
    }
}

}  // namespace

WindowOptions ReadCommandLine(std::string_view commandLine) {
    WindowOptions options;
    for (const Switch& found : ReadSwitches(commandLine)) ApplySwitch(found, options);
    return options;
}

int RunServerProgram() {
    SetUnloading(false);
    SetDebugReady(true);
    SetLineBreak("\r\n");
    SetProgramFolderPath(platform::ProgramFolder());
    ResetDiagnostics();
    Timer_Modul::InitTimerModule();
    WebClient_Modul::ResetDefaultProxy();
    WebClient_Modul::SetDefaultUserAgent(WebClient_Modul::kServerUserAgent);
    const WindowOptions options = ReadCommandLine(platform::CommandLineArguments());
    WriteLog("Programmstart");
    WriteLog("LoadStandard");

    WriteLog("loading MainForm ...");
    gMainForm = std::make_unique<MainForm>(&UnloadRoutine);
    if (!gMainForm->Load(options.portText)) {
        platform::ShowMessageBox("The server window could not be made.", "Pelorin");
        return 1;
    }
    WriteLog("loading ready");
    // Ctrl+C and termination signals close the window, as the user would.
    platform::WatchStopRequests(gMainForm->Window());
    // Every GET of a large file reads it whole into a fresh buffer.
    platform::KeepLargeBuffersForReuse();

    WriteLog("ready to show me");
    gMainForm->Show();
    WriteLog("Start-Prozess ready");
    if (options.startServer) platform::PressButton(gMainForm->Button());

    const int status = platform::RunMessageLoop();
    gMainForm.reset();
    return status;
}

void UnloadRoutine() {
    WriteLog("Unloading now...");
    SetUnloading(true);
    if (gMainForm) gMainForm->Unload();
    UnloadDebugWindow();
    WriteLog("Exit");
    platform::PostQuit(0);
}

}  // namespace pelorin
