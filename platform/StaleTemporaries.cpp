#include "platform/StaleTemporaries.h"

#include <charconv>

#include "platform/Files.h"

namespace pelorin::platform {

std::uint32_t TemporaryFileProcess(std::string_view name) {
    if (!name.starts_with(kTemporaryFilePrefix)) return 0;
    name.remove_prefix(kTemporaryFilePrefix.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == name.size()) return 0;
    const std::string_view count = name.substr(dash + 1);
    if (count.find_first_not_of("0123456789") != std::string_view::npos) return 0;
    std::uint32_t process = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + dash, process);
    if (error != std::errc() || end != name.data() + dash) return 0;
    return process;
}

}  // namespace pelorin::platform
