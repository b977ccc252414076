// The text of the debug window's log box: one entry per line, each ended by CR LF, kept
// within kLogBoxLimit characters by dropping the oldest lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelorin {

constexpr std::size_t kLogBoxLimit = 32000;
// An entry that does not fit even into the empty box is shown as its first
// kLogBoxCutLength characters followed by "...".
constexpr std::size_t kLogBoxCutLength = 100;

// The line as the box shows `entry` (without its CR LF).
std::string LogBoxLine(std::string_view entry);

// The box text after adding `entry` as a new last line to `box`. Whole lines are dropped
// from the top until the result fits; a box without any line end left is cleared. An
// entry too long for the empty box clears it and is shown cut.
std::string AppendLogBoxLine(std::string_view box, std::string_view entry);

}  // namespace pelorin
