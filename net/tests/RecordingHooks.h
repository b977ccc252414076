// Diagnostics hooks for the toolkit's tests: they record what the code reports.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pelorin::testing {

struct HookRecord {
    std::vector<std::string> logLines;
    std::vector<std::string> procedures;  // "+name" for a start, "-name" for an end
    std::map<std::string, int> liveObjects;
};

HookRecord& Hooks();
void ResetHooks();

}  // namespace pelorin::testing
