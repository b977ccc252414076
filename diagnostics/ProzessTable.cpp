#include "diagnostics/ProzessTable.h"

#include <utility>

#include "base/Text.h"
#include "platform/Clock.h"

namespace pelorin {

std::string ProzessRow::TagText() const {
    std::string tag;
    for (auto it = pendingStarts.rbegin(); it != pendingStarts.rend(); ++it) {
        tag += std::to_string(static_cast<std::int32_t>(*it));
        tag += '|';
    }
    return tag;
}

std::size_t ProzessTable::IndexOf(std::string_view name) {
    if (auto number = Find(name)) return *number;
    ProzessRow row;
    row.name = name;
    rows_.push_back(std::move(row));
    return rows_.size();
}

std::optional<std::size_t> ProzessTable::Find(std::string_view name) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].name == name) return i + 1;
    }
    return std::nullopt;
}

void ProzessTable::Start(std::size_t number, std::uint32_t now) {
    rows_.at(number - 1).pendingStarts.push_back(now);
}

bool ProzessTable::End(std::size_t number, std::uint32_t now) {
    ProzessRow& row = rows_.at(number - 1);
    if (row.pendingStarts.empty()) return false;
    const std::int32_t elapsed = platform::ElapsedMs(row.pendingStarts.back(), now);
    row.pendingStarts.pop_back();
    ++row.count;
    row.total += elapsed;
    row.average = RoundHalfEven(static_cast<double>(row.total) / static_cast<double>(row.count), 2);
    if (row.longest < elapsed) row.longest = elapsed;
    return true;
}

}  // namespace pelorin
