// The names in a folder of a server's store, as the fault tests compare them.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/TemporaryNames.h"

namespace pelorin::testing {

// Sorted. The store's hidden temporary folder stands for the temporaries in it
// (".pelorin-tmp/name"; its lock left out), so a test sees none when there are none.
inline std::vector<std::string> StoreNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != platform::kTemporaryFolderName) {
            names.push_back(name);
            continue;
        }
        for (const auto& inside : std::filesystem::directory_iterator(entry.path())) {
            const std::string temporary = inside.path().filename().string();
            if (temporary != platform::kTemporaryLockName) names.push_back(name + "/" + temporary);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace pelorin::testing
