// How many handles the test process holds open (descriptors on Linux, kernel handles on
// Windows): a call that leaks one shows as a count that does not come back.
#pragma once

#include <cstddef>

namespace pelorin::testing {

std::size_t OpenHandleCount();

}  // namespace pelorin::testing
