// Live objects per class, as `ObjectCreated` and `ObjectDestroyed` report them. Entries
// are numbered from 1 in the order their classes first appeared and are never removed, so
// entry i is always row i of the debug window's class list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

struct ClassCount {
    std::string name;
    std::int32_t count = 0;  // may fall to 0 or below: objects made before counting began
};

class ClassCounts {
  public:
    // One more live object of `name`; a class seen for the first time gets a new entry
    // with count 1. Returns the entry's number.
    std::size_t Created(std::string_view name);
    // One live object less; nothing for a class without an entry.
    std::optional<std::size_t> Destroyed(std::string_view name);

    const ClassCount& Entry(std::size_t number) const { return entries_.at(number - 1); }
    std::size_t Size() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

  private:
    // Exact, case-sensitive name comparison.
    std::optional<std::size_t> Find(std::string_view name) const;

    std::vector<ClassCount> entries_;  // entry number i at index i - 1
};

}  // namespace pelorin
