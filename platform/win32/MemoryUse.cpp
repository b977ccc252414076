#include "platform/MemoryUse.h"

namespace pelorin::platform {

// The process heap offers no threshold to move.
void KeepLargeBuffersForReuse() {}

}  // namespace pelorin::platform
