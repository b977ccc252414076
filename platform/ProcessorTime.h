// The processor time the calling process has used so far (user and system time), for
// measurements such as "a wait costs no processor time".
#pragma once

#include <cstdint>

namespace pelorin::platform {

std::uint64_t ProcessorTimeMicroseconds();

}  // namespace pelorin::platform
