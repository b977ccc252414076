// Diagnostics hooks that record what the code reports, for the tests of libraries whose
// program picks its diagnostics: log lines, procedure starts and ends, live objects.
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
