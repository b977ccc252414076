#include "platform/ProcessorTime.h"

#include <sys/resource.h>

namespace pelorin::platform {

std::uint64_t ProcessorTimeMicroseconds() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    const auto micros = [](const timeval& t) {
        return static_cast<std::uint64_t>(t.tv_sec) * 1000000u +
               static_cast<std::uint64_t>(t.tv_usec);
    };
    return micros(usage.ru_utime) + micros(usage.ru_stime);
}

}  // namespace pelorin::platform
