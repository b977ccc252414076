// The statistics hooks: live objects per class, procedure timing, and the stack and
// trace files.
#include "base/Text.h"
#include "diagnostics/DebugState.h"
#include "diagnostics/Debug_Modul.h"
#include "diagnostics/DiagnosticFiles.h"
#include "platform/Clock.h"

namespace pelorin {

using debug_modul::State;
using debug_modul::TheState;

namespace {

void PushStackFiles(State& s, std::string_view name) {
    s.prozessStack += name;
    s.prozessStack += '|';
    WriteStackFile(s.prozessStack);
    if (!s.prozessInfoOn) return;
    CreateTraceFile(StackDepth(s.prozessStack));
    ProzessInfo(">> " + std::string(name) + " <<");
    ProzessInfo("Start...");
}

// The entry dropped is the newest, whatever name the end reports.
void PopStackFiles(State& s) {
    if (s.prozessInfoOn) RemoveTraceFile(StackDepth(s.prozessStack));
    s.prozessStack = DropLastField(s.prozessStack);
    WriteStackFile(s.prozessStack);
}

}  // namespace

void ObjectCreated(std::string_view className) {
    if (!StatisticsOn()) return;
    auto& s = TheState();
    const std::size_t number = s.classCounts.Created(className);
    s.debugForm.ShowClassCount(number, s.classCounts.Entry(number));
}

void ObjectDestroyed(std::string_view className) {
    if (!StatisticsOn()) return;
    auto& s = TheState();
    if (auto number = s.classCounts.Destroyed(className)) {
        s.debugForm.ShowClassCount(*number, s.classCounts.Entry(*number));
    }
}

std::size_t GetIndexOfProzess(std::string_view TheName) {
    if (TrimSpaces(TheName).empty()) WriteLog("ERROR in GetIndexOfProzess: TheName = \"\"");
    auto& s = TheState();
    if (auto number = s.prozesse.Find(TheName)) return *number;
    const std::size_t number = s.prozesse.IndexOf(TheName);
    s.debugForm.ShowProzessRow(number, s.prozesse.Row(number));
    return number;
}

void ProzessStart(std::string_view procedureName) {
    auto& s = TheState();
    if (!s.debugReady) return;
    if (s.debugFileOn) PushStackFiles(s, procedureName);
    if (!StatisticsOn()) return;
    const std::size_t number = GetIndexOfProzess(procedureName);
    s.prozesse.Start(number, platform::TickCount());
}

void ProzessEnd(std::string_view procedureName) {
    auto& s = TheState();
    if (!s.debugReady) return;
    if (s.debugFileOn) PopStackFiles(s);
    if (!StatisticsOn()) return;
    const std::size_t number = GetIndexOfProzess(procedureName);
    if (s.prozesse.End(number, platform::TickCount())) {
        s.debugForm.ShowProzessRow(number, s.prozesse.Row(number));
    }
}

bool ProzessInfoWanted() {
    const auto& s = TheState();
    return s.prozessInfoOn && s.debugReady;
}

void ProzessInfo(std::string_view text) {
    if (!ProzessInfoWanted()) return;
    AppendTraceLine(StackDepth(TheState().prozessStack), text);
}

}  // namespace pelorin
