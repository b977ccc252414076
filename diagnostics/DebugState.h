// The state behind Debug_Modul, shared by its source files only.
#pragma once

#include <cstdint>
#include <string>

#include "diagnostics/ClassCounts.h"
#include "diagnostics/DebugForm.h"
#include "diagnostics/ProzessTable.h"

namespace pelorin::debug_modul {

struct State {
    bool debugReady = false;
    bool debugWindowShown = false;
    std::int16_t logLevel = 0;
    bool debugFileOn = false;
    bool prozessInfoOn = false;
    std::string prozessStack;
    ClassCounts classCounts;
    ProzessTable prozesse;
    DebugForm debugForm;
};

// The one instance. It is never destroyed, so the debug window is not touched while the
// process ends.
State& TheState();

}  // namespace pelorin::debug_modul
