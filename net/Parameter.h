// A growing list of texts, numbered from 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/ObjectTrace.h"

namespace pelorin {

class Parameter {
  public:
    std::int32_t GetAnzahlParameter() const;
    void AddParameter(std::string_view theParameter);
    // The text at `index` (1 to GetAnzahlParameter); "" for 0 and for any index outside.
    std::string GetParameter(std::int32_t index) const;

  private:
    ObjectTrace trace_{"Parameter"};
    std::vector<std::string> slots_{1};  // slot 0 stays ""
};

}  // namespace pelorin
