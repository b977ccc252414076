#include "net/Parameter.h"

namespace pelorin {

std::int32_t Parameter::GetAnzahlParameter() const {
    return static_cast<std::int32_t>(slots_.size() - 1);
}

void Parameter::AddParameter(std::string_view theParameter) {
    slots_.emplace_back(theParameter);
}

std::string Parameter::GetParameter(std::int32_t index) const {
    if (index < 0 || index > GetAnzahlParameter()) return "";
    return slots_[static_cast<std::size_t>(index)];
}

}  // namespace pelorin
