// Tidying up after a process that died while it replaced a file: ReplaceFileAtomically
// writes the new content to a hidden temporary file first, and a process killed (or a
// machine switched off) before the rename leaves that file behind, unseen and never
// reused, as large as the content it was to hold.
#pragma once

#include <cstdint>
#include <string_view>

namespace pelorin::platform {

// Removes, in `folder` and every folder below it, the temporary files of
// ReplaceFileAtomically whose process no longer runs. Temporaries of running processes
// (another program working on the same folder) and every other file stay.
void RemoveStaleTemporaries(std::string_view folder);

// The process number in the name of a temporary file of ReplaceFileAtomically (the
// prefix, the process number, "-" and a count), or 0 when `name` is not such a name.
std::uint32_t TemporaryFileProcess(std::string_view name);

}  // namespace pelorin::platform
