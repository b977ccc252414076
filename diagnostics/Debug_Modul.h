// Debug_Modul: the diagnostics centre of the server program. It implements the hooks of
// Hooks.h and keeps the switches, the statistics and the debug window. Everything is off
// until switched on from the command line; with no switch each hook costs a flag test.
// Process-wide state: the server program runs all of it on its one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "diagnostics/ClassCounts.h"
#include "diagnostics/DebugForm.h"
#include "diagnostics/Hooks.h"
#include "diagnostics/ProzessTable.h"

namespace pelorin {

// The "DEBUG" switch: marks the debug window as shown, loads it and shows it. From then
// on it receives the log lines and the statistics are kept.
void ShowDebugWindow();

// Start-up reset, once the program folder is known and before the switches are read:
// deletes a stack file left by an earlier run, empties the statistics, turns every
// switch off and clears the procedure stack. A debug window that exists is destroyed with
// the statistics it displays.
void ResetDiagnostics();

// For the unload routine: asks the debug window to close. It closes only once Unloading
// is set; before that it refuses, as it refuses the user's close box.
void UnloadDebugWindow();

// Switch state.
bool DebugWindowShown();
std::int16_t LogLevel();  // 2 and 3 write "log.txt"; every other value writes nothing
void SetLogLevel(std::int16_t level);
bool DebugFileOn();  // the procedure stack file; with ProzessInfoOn the trace files
void SetDebugFileOn(bool on);
bool ProzessInfoOn();  // the trace files
void SetProzessInfoOn(bool on);
// Names of the procedures now running, oldest first, each followed by "|". Kept only
// while DebugFileOn.
const std::string& ProzessStack();

// The statistics are kept while DebugReady and DebugWindowShown are set and Unloading
// is not.
bool StatisticsOn();

// The 1-based number of the procedure row named `TheName`, added when missing. An empty
// or blank name is logged as an error and then used like any other name.
std::size_t GetIndexOfProzess(std::string_view TheName);

// The statistics tables and the debug window, for inspection.
const ClassCounts& GetClassCounts();
const ProzessTable& GetProzessTable();
const DebugForm& GetDebugForm();

}  // namespace pelorin
