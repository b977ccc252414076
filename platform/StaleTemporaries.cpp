#include "platform/StaleTemporaries.h"

#include <algorithm>
#include <charconv>

#include "platform/Files.h"

namespace pelorin::platform {
namespace {

// The process number at the front of "<process>-<count><rest>", with `text` moved on to
// <rest>; 0 (and `text` as it was) when `text` does not begin that way.
std::uint32_t TakeProcessAndCount(std::string_view& text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos || dash == 0) return 0;
    std::uint32_t process = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + dash, process);
    if (error != std::errc() || end != text.data() + dash) return 0;
    const std::size_t countEnd =
        std::min(text.find_first_not_of("0123456789", dash + 1), text.size());
    if (countEnd == dash + 1) return 0;
    text.remove_prefix(countEnd);
    return process;
}

}  // namespace

std::uint32_t TemporaryFileProcess(std::string_view name) {
    if (!name.starts_with(kTemporaryFilePrefix)) return 0;
    name.remove_prefix(kTemporaryFilePrefix.size());
    const std::uint32_t process = TakeProcessAndCount(name);
    return name.empty() ? process : 0;
}

std::string AsideFileName(std::uint32_t process, std::uint32_t count, std::string_view item) {
    return std::string(kAsideFilePrefix) + std::to_string(process) + "-" + std::to_string(count) +
           "-" + std::string(item);
}

AsideFile AsideFileOf(std::string_view name) {
    if (!name.starts_with(kAsideFilePrefix)) return {};
    name.remove_prefix(kAsideFilePrefix.size());
    const std::uint32_t process = TakeProcessAndCount(name);
    if (process == 0 || !name.starts_with('-')) return {};
    const std::string_view item = name.substr(1);
    if (item.empty() || item == "." || item == ".." ||
        item.find_first_of("\\/") != std::string_view::npos) {
        return {};
    }
    return {process, item};
}

}  // namespace pelorin::platform
