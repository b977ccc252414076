// The diagnostics hooks every class calls. The server program links the full module
// (Debug_Modul); the client library links the inert variant, where each hook does nothing.
#pragma once

#include <concepts>
#include <string_view>

namespace pelorin {

// One line for "log.txt" and the debug window.
void WriteLog(std::string_view text);

// Live objects per class.
void ObjectCreated(std::string_view className);
void ObjectDestroyed(std::string_view className);

// Procedure timing and the stack and trace files. Each ProzessStart is matched by one
// ProzessEnd with the same name on every path out (ProzessScope does that).
void ProzessStart(std::string_view procedureName);
void ProzessEnd(std::string_view procedureName);
void ProzessInfo(std::string_view text);

// Whether WriteLog and ProzessInfo would keep a text given now. Exactly the hooks' own
// conditions, so asking first never changes what is recorded; the inert hooks always
// answer false.
bool WriteLogWanted();
bool ProzessInfoWanted();

// For a text that has to be put together: `makeText` runs only when the text is wanted,
// so diagnostics that are off cost a flag test and no string work.
template <std::invocable MakeText>
void WriteLog(MakeText&& makeText) {
    if (WriteLogWanted()) WriteLog(std::string_view(makeText()));
}
template <std::invocable MakeText>
void ProzessInfo(MakeText&& makeText) {
    if (ProzessInfoWanted()) ProzessInfo(std::string_view(makeText()));
}

// The start-up flag: nothing is logged or counted while DebugReady is false. (Once the
// program's Unloading setting is set, the debug window takes no more lines.)
void SetDebugReady(bool ready);
bool IsDebugReady();

}  // namespace pelorin
