#include "testing/RecordingHooks.h"

#include "diagnostics/Hooks.h"

namespace pelorin {
namespace testing {

HookRecord& Hooks() {
    static HookRecord record;
    return record;
}

void ResetHooks() {
    Hooks() = HookRecord{};
}

}  // namespace testing

namespace {
bool gReady = true;
}  // namespace

void WriteLog(std::string_view text) {
    testing::Hooks().logLines.emplace_back(text);
}
void ObjectCreated(std::string_view name) {
    ++testing::Hooks().liveObjects[std::string(name)];
}
void ObjectDestroyed(std::string_view name) {
    --testing::Hooks().liveObjects[std::string(name)];
}
void ProzessStart(std::string_view name) {
    testing::Hooks().procedures.push_back("+" + std::string(name));
}
void ProzessEnd(std::string_view name) {
    testing::Hooks().procedures.push_back("-" + std::string(name));
}
void ProzessInfo(std::string_view) {}
// Both wanted, so the tests still put every text together.
bool WriteLogWanted() {
    return true;
}
bool ProzessInfoWanted() {
    return true;
}
void SetDebugReady(bool ready) {
    gReady = ready;
}
bool IsDebugReady() {
    return gReady;
}

}  // namespace pelorin
