// The switches, the log line and the debug window's life.
#include "diagnostics/Debug_Modul.h"

#include "diagnostics/DebugState.h"
#include "diagnostics/DiagnosticFiles.h"
#include "settings/ProgramSettings.h"

namespace pelorin {

namespace debug_modul {
State& TheState() {
    static State* const state = new State;
    return *state;
}
}  // namespace debug_modul

using debug_modul::TheState;

void SetDebugReady(bool ready) {
    TheState().debugReady = ready;
}
bool IsDebugReady() {
    return TheState().debugReady;
}

bool DebugWindowShown() {
    return TheState().debugWindowShown;
}
std::int16_t LogLevel() {
    return TheState().logLevel;
}
void SetLogLevel(std::int16_t level) {
    TheState().logLevel = level;
}
bool DebugFileOn() {
    return TheState().debugFileOn;
}
void SetDebugFileOn(bool on) {
    TheState().debugFileOn = on;
}
bool ProzessInfoOn() {
    return TheState().prozessInfoOn;
}
void SetProzessInfoOn(bool on) {
    TheState().prozessInfoOn = on;
}
const std::string& ProzessStack() {
    return TheState().prozessStack;
}

bool StatisticsOn() {
    const auto& s = TheState();
    return s.debugReady && s.debugWindowShown && !IsUnloading();
}

const ClassCounts& GetClassCounts() {
    return TheState().classCounts;
}
const ProzessTable& GetProzessTable() {
    return TheState().prozesse;
}
const DebugForm& GetDebugForm() {
    return TheState().debugForm;
}

namespace {
bool LogFileOn(const debug_modul::State& s) {
    return s.logLevel == 2 || s.logLevel == 3;
}
bool LogWindowOn(const debug_modul::State& s) {
    return s.debugWindowShown && !IsUnloading();
}
}  // namespace

bool WriteLogWanted() {
    const auto& s = TheState();
    return s.debugReady && (LogFileOn(s) || LogWindowOn(s));
}

void WriteLog(std::string_view text) {
    auto& s = TheState();
    if (!s.debugReady) return;
    if (LogFileOn(s)) AppendLogLine(text);
    if (LogWindowOn(s)) s.debugForm.AddText(text);
}

void ShowDebugWindow() {
    auto& s = TheState();
    s.debugWindowShown = true;
    s.debugForm.Load();
    s.debugForm.Show();
}

void ResetDiagnostics() {
    auto& s = TheState();
    RemoveStackFile();
    s.classCounts.Clear();
    // The procedure rows and the window go too: the lists must keep showing the tables.
    s.prozesse.Clear();
    s.debugForm.Destroy();
    s.debugWindowShown = false;
    s.logLevel = 0;
    s.debugFileOn = false;
    s.prozessStack.clear();
    s.prozessInfoOn = false;
}

void UnloadDebugWindow() {
    TheState().debugForm.Unload();
}

}  // namespace pelorin
