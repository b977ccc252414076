#include "server/MainCode.h"

#include <memory>
#include <string>
#include <vector>

#include "diagnostics/Debug_Modul.h"
#include "net/Timer_Modul.h"
#include "net/WebClient.h"
#include "platform/Files.h"
#include "platform/MemoryUse.h"
#include "platform/MessageQueue.h"
#include "platform/Process.h"
#include "platform/ServiceManager.h"
#include "platform/StopRequests.h"
#include "platform/Ui.h"
#include "server/CommandLine.h"
#include "server/MainForm.h"
#include "settings/ProgramSettings.h"

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
        case SwitchKind::Folder:
        case SwitchKind::Help:
        case SwitchKind::Version:
        case SwitchKind::None:
            break;
    }
}

WindowOptions ApplySwitches(const std::vector<Switch>& switches) {
    WindowOptions options;
    for (const Switch& found : switches) ApplySwitch(found, options);
    return options;
}

// A folder always holds its own "." entry.
bool FolderExists(const std::string& folder) {
    platform::DirectorySearch search(folder + "*");
    platform::FileEntry entry;
    return search.Next(entry);
}

// The folder the command line named for the program's files, made when missing (one
// level, like the data folder), with its trailing separator; "" when it cannot be made.
// Without the switch, the program's own folder.
std::string FilesFolder(const std::vector<Switch>& switches) {
    std::string folder = FilesFolderOf(switches);
    if (folder.empty()) return platform::ProgramFolder();
    while (folder.size() > 1 && (folder.ends_with('\\') || folder.ends_with('/'))) {
        folder.pop_back();
    }
    if (!FolderExists(folder + "\\")) platform::MakeOwnFolder(folder);
    return FolderExists(folder + "\\") ? folder + "\\" : std::string();
}

// A service manager that waits hears that the program is ready once it serves: at once,
// or with /START once the server listens. A first listen that fails ends the program
// then, so that the service shows failed rather than active with nothing listening.
bool TellReadiness(const WindowOptions& options) {
    if (!platform::ServiceManagerWaits()) return true;
    if (options.startServer && gMainForm->ListeningPort() == 0) {
        platform::ShowMessageBox(
            "port " + options.portText + " cannot be listened on; the service ends.", "Pelorin");
        return false;
    }
    platform::TellServiceManager("READY=1");
    return true;
}

}  // namespace

WindowOptions ReadCommandLine(std::string_view commandLine) {
    return ApplySwitches(ReadSwitches(commandLine));
}

int RunServerProgram() {
    SetUnloading(false);
    SetDebugReady(true);
    SetLineBreak("\r\n");
    const std::vector<Switch> switches = ReadSwitches(platform::CommandLineArguments());
    if (const std::string information = InformationOf(switches); !information.empty()) {
        platform::ShowInformation(information, "Pelorin");
        return 0;
    }
    const std::string filesFolder = FilesFolder(switches);
    if (filesFolder.empty()) {
        platform::ShowMessageBox("The folder " + FilesFolderOf(switches) + " cannot be made.",
                                 "Pelorin");
        return 1;
    }
    SetProgramFolderPath(filesFolder);
    ResetDiagnostics();
    Timer_Modul::InitTimerModule();
    WebClient_Modul::ResetDefaultProxy();
    WebClient_Modul::SetDefaultUserAgent(WebClient_Modul::kServerUserAgent);
    const WindowOptions options = ApplySwitches(switches);
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
    // With the log showing contents, whole files and bodies pass through memory, one
    // buffer per request: keep those buffers' pages instead of mapping them afresh.
    platform::KeepLargeBuffersForReuse();

    WriteLog("ready to show me");
    gMainForm->Show();
    WriteLog("Start-Prozess ready");
    if (options.startServer) platform::PressButton(gMainForm->Button());
    const bool ready = TellReadiness(options);
    if (!ready) UnloadRoutine();

    const int status = platform::RunMessageLoop();
    gMainForm.reset();
    return ready ? status : 1;
}

void UnloadRoutine() {
    platform::TellServiceManager("STOPPING=1");
    WriteLog("Unloading now...");
    SetUnloading(true);
    if (gMainForm) gMainForm->Unload();
    UnloadDebugWindow();
    WriteLog("Exit");
    platform::PostQuit(0);
}

}  // namespace pelorin
