#include "diagnostics/ClassCounts.h"

#include <limits>

namespace pelorin {

std::size_t ClassCounts::Created(std::string_view name) {
    if (auto number = Find(name)) {
        std::int32_t& count = entries_[*number - 1].count;
        if (count < std::numeric_limits<std::int32_t>::max()) ++count;
        return *number;
    }
    entries_.push_back({std::string(name), 1});
    return entries_.size();
}

std::optional<std::size_t> ClassCounts::Destroyed(std::string_view name) {
    auto number = Find(name);
    if (!number) return std::nullopt;
    std::int32_t& count = entries_[*number - 1].count;
    if (count > std::numeric_limits<std::int32_t>::min()) --count;
    return number;
}

std::optional<std::size_t> ClassCounts::Find(std::string_view name) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].name == name) return i + 1;
    }
    return std::nullopt;
}

}  // namespace pelorin
