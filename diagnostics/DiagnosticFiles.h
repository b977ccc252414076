// The files of the diagnostics, all in the program folder: the log, the procedure stack
// file and the trace file per nesting depth. Every write opens and closes its file, so a
// line is complete on disk when the call returns. Failures are swallowed: diagnostics
// never break the operation that reports to them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelorin {

std::string LogFilePath();
std::string StackFilePath();
std::string TraceFilePath(std::size_t depth);

// Appends `text` and the line break to "log.txt".
void AppendLogLine(std::string_view text);
// Replaces "debugfile.prozesse" with the one line `stack`.
void WriteStackFile(std::string_view stack);
void RemoveStackFile();

void CreateTraceFile(std::size_t depth);
void AppendTraceLine(std::size_t depth, std::string_view text);
void RemoveTraceFile(std::size_t depth);

// The procedure stack: names, oldest first, each followed by "|".
std::size_t StackDepth(std::string_view stack);
// `stack` without its last field and the "|" behind it; a text without "|" stays as it is.
std::string DropLastField(std::string_view stack);

}  // namespace pelorin
