#include "platform/Clock.h"

#include <windows.h>

#include <mmsystem.h>  // needs windows.h first

#include <atomic>

namespace pelorin::platform {
namespace {
std::atomic<TickSource> gSource{nullptr};
}

// timeGetTime rather than GetTickCount: it keeps millisecond steps where the tick count
// may advance in 10-16 ms jumps.
std::uint32_t TickCount() {
    if (TickSource source = gSource.load()) return source();
    return timeGetTime();
}

void SetTickSourceForTests(TickSource source) {
    gSource.store(source);
}

}  // namespace pelorin::platform
