#include "diagnostics/DiagnosticFiles.h"

#include "base/Text.h"
#include "platform/Files.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

constexpr char kSeparator = '|';

std::string InProgramFolder(std::string_view name) {
    return ProgramFolderPath() + std::string(name);
}

std::string WithLineBreak(std::string_view text) {
    return std::string(text) + LineBreak();
}

}  // namespace

std::string LogFilePath() {
    return InProgramFolder("log.txt");
}
std::string StackFilePath() {
    return InProgramFolder("debugfile.prozesse");
}
std::string TraceFilePath(std::size_t depth) {
    return InProgramFolder("debugfile.prozessinfo." + std::to_string(depth));
}

void AppendLogLine(std::string_view text) {
    platform::AppendToFile(LogFilePath(), WithLineBreak(text));
}

void WriteStackFile(std::string_view stack) {
    platform::WriteWholeFile(StackFilePath(), WithLineBreak(stack));
}

void RemoveStackFile() {
    platform::RemoveFile(StackFilePath());
}

void CreateTraceFile(std::size_t depth) {
    platform::CreateEmptyFile(TraceFilePath(depth));
}

void AppendTraceLine(std::size_t depth, std::string_view text) {
    platform::AppendToFile(TraceFilePath(depth), WithLineBreak(text));
}

void RemoveTraceFile(std::size_t depth) {
    platform::RemoveFile(TraceFilePath(depth));
}

std::size_t StackDepth(std::string_view stack) {
    return CountOccurrences(stack, std::string_view(&kSeparator, 1));
}

std::string DropLastField(std::string_view stack) {
    const std::size_t last = stack.rfind(kSeparator);
    if (last == std::string_view::npos) return std::string(stack);
    // Without a separator before it the field starts at 0 (npos + 1 wraps to 0).
    const std::size_t fieldStart = stack.substr(0, last).rfind(kSeparator) + 1;
    return std::string(stack.substr(0, fieldStart)) + std::string(stack.substr(last + 1));
}

}  // namespace pelorin
