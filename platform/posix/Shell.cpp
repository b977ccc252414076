// Linux has no notification area and the server program opens no browser there: the
// shell is a stand-in that records what was asked and chooses no menu item (no user
// can click one).
#include "platform/Shell.h"

namespace pelorin::platform {

ShellBackend& SystemShell() {
    static RecordingShell* standIn = new RecordingShell;  // lives as long as the process
    return *standIn;
}

}  // namespace pelorin::platform
