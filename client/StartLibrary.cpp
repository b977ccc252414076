#include "client/StartLibrary.h"

#include "diagnostics/Hooks.h"
#include "net/Timer_Modul.h"
#include "net/WebClient.h"
#include "settings/ProgramSettings.h"

namespace pelorin {

void StartLibrary() {
    SetUnloading(false);
    SetDebugReady(true);
    Timer_Modul::InitTimerModule();
    SetLineBreak("\r\n");
    WebClient_Modul::ResetDefaultProxy();
    WebClient_Modul::SetDefaultUserAgent(WebClient_Modul::kClientLibraryUserAgent);
    WriteLog("Programmstart");
}

}  // namespace pelorin
