// Bounds as text, so a failed comparison shows all four numbers.
#pragma once

#include <string>

#include "platform/Ui.h"

namespace pelorin::testing {

inline std::string BoundsText(const platform::Bounds& b) {
    return std::to_string(b.left) + "," + std::to_string(b.top) + " " + std::to_string(b.width) +
           "x" + std::to_string(b.height);
}

}  // namespace pelorin::testing
