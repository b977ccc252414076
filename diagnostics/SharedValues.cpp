#include "diagnostics/SharedValues.h"

namespace pelorin {
namespace {
thread_local std::string tLineBreak = "\r\n";
thread_local std::string tProgramFolder;
}  // namespace

const std::string& LineBreak() {
    return tLineBreak;
}
void SetLineBreak(std::string_view lineBreak) {
    tLineBreak = lineBreak;
}

const std::string& ProgramFolderPath() {
    return tProgramFolder;
}
void SetProgramFolderPath(std::string_view folder) {
    tProgramFolder = folder;
    if (!tProgramFolder.empty() && !tProgramFolder.ends_with('\\') &&
        !tProgramFolder.ends_with('/')) {
        tProgramFolder += '\\';
    }
}

}  // namespace pelorin
