#include "settings/ProgramSettings.h"

#include "platform/ThreadState.h"

namespace pelorin {
namespace {
struct Values {
    std::string lineBreak = "\r\n";
    std::string programFolder;
    std::string dataFolder = "data";  // kept with the program folder: asked for per request
    bool unloading = false;
};

Values& State() {
    return platform::ThreadState<Values>();
}
}  // namespace

const std::string& LineBreak() {
    return State().lineBreak;
}
void SetLineBreak(std::string_view lineBreak) {
    State().lineBreak = lineBreak;
}

const std::string& ProgramFolderPath() {
    return State().programFolder;
}
void SetProgramFolderPath(std::string_view folder) {
    std::string& programFolder = State().programFolder;
    programFolder = folder;
    if (!programFolder.empty() && !programFolder.ends_with('\\') && !programFolder.ends_with('/')) {
        programFolder += '\\';
    }
    State().dataFolder = programFolder + "data";
}

const std::string& DataFolder() {
    return State().dataFolder;
}

void SetUnloading(bool unloading) {
    State().unloading = unloading;
}
bool IsUnloading() {
    return State().unloading;
}

}  // namespace pelorin
