// Timing per procedure, as `ProzessStart` and `ProzessEnd` report it. Rows are numbered
// from 1 in the order their procedures first appeared and are never removed, so row i is
// always row i of the debug window's procedure list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

struct ProzessRow {
    std::string name;
    double average = 0;        // "Durchschnitt": total / count, 2 places, half to even
    std::int32_t longest = 0;  // "Längste"
    std::int64_t count = 0;    // "Anzahl": completed runs
    std::int64_t total = 0;    // "Gesammt"
    // Counter readings of the runs in progress, oldest first. Each end takes the newest,
    // so recursive and overlapping runs are each timed from their own start.
    std::vector<std::uint32_t> pendingStarts;

    // The pending starts as the row tag shows them: newest first, each followed by "|"
    // ("5230|5100|"), the readings written as 32-bit signed numbers.
    std::string TagText() const;
};

class ProzessTable {
  public:
    // The number of the row named `name` (exact, case-sensitive); a missing row is added
    // with all values 0 and no pending start.
    std::size_t IndexOf(std::string_view name);
    std::optional<std::size_t> Find(std::string_view name) const;

    // A run of row `number` started at counter reading `now`.
    void Start(std::size_t number, std::uint32_t now);
    // The newest run of row `number` ended at counter reading `now`: the elapsed time is
    // taken modulo 2^32, so a run across the counter's wrap is timed correctly. Without a
    // pending start the row stays as it is and the answer is false.
    bool End(std::size_t number, std::uint32_t now);

    const ProzessRow& Row(std::size_t number) const { return rows_.at(number - 1); }
    std::size_t Size() const { return rows_.size(); }
    void Clear() { rows_.clear(); }

  private:
    std::vector<ProzessRow> rows_;  // row number i at index i - 1
};

}  // namespace pelorin
