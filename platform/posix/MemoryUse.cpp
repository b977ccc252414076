#include "platform/MemoryUse.h"

#include <malloc.h>

namespace pelorin::platform {

namespace {

// Buffers up to this size come from the program's own heap instead of a mapping of their
// own; freed memory at the heap's top goes back to the system beyond twice that.
constexpr int kOwnHeapUpTo = 64 << 20;

}  // namespace

void KeepLargeBuffersForReuse() {
    mallopt(M_MMAP_THRESHOLD, kOwnHeapUpTo);
    mallopt(M_TRIM_THRESHOLD, 2 * kOwnHeapUpTo);
}

}  // namespace pelorin::platform
