// What tests need of the system beyond the platform layer: how many handles the test
// process holds open (descriptors on Linux, kernel handles on Windows), so that a call
// that leaks one shows as a count that does not come back; files of any length; and the
// test's own process number, one that is sure to run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelorin::testing {

std::size_t OpenHandleCount();

// Creates (or empties) the file and makes it `size` bytes long without writing them: a
// sparse file, where the file system takes one that long. False when it does not.
bool MakeSparseFile(const std::string& path, std::uint64_t size);

std::uint32_t OwnProcessNumber();

}  // namespace pelorin::testing
