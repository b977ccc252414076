#include "platform/TemporaryNames.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>

namespace pelorin::platform {
namespace {

constexpr std::string_view kTemporaryPrefix = "tmp-";
constexpr std::string_view kAsidePrefix = "aside-";
constexpr std::size_t kStartLength = 16;

std::atomic<std::uint32_t> gCount{0};

std::mutex gDataFolderMutex;
std::string gDataFolder;  // guarded by gDataFolderMutex

std::string DrawStartIdentity() {
    std::random_device random;
    std::uniform_int_distribution<int> letter(0, 25);
    std::string start;
    for (std::size_t i = 0; i < kStartLength; ++i) start += static_cast<char>('a' + letter(random));
    return start;
}

std::string Escaped(std::string_view item) {
    std::string escaped;
    for (const char c : item) {
        if (c == '%') {
            escaped += "%25";
        } else if (c == '\\' || c == '/') {
            escaped += "%5C";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// "" for a text that Escaped cannot have made.
std::string Unescaped(std::string_view text) {
    std::string item;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            item += text[i];
        } else if (text.substr(i, 3) == "%25") {
            item += '%';
            i += 2;
        } else if (text.substr(i, 3) == "%5C") {
            item += '\\';
            i += 2;
        } else {
            return {};
        }
    }
    return item;
}

bool IsStart(std::string_view text) {
    return text.size() == kStartLength &&
           text.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string_view::npos;
}

// Takes "<start>-<count>" off the front of `text`; "" when it does not begin that way.
std::string_view TakeStartAndCount(std::string_view& text) {
    const std::string_view start = text.substr(0, kStartLength);
    if (!IsStart(start) || text.size() < kStartLength + 2 || text[kStartLength] != '-') return {};
    const std::size_t countEnd =
        std::min(text.find_first_not_of("0123456789", kStartLength + 1), text.size());
    if (countEnd == kStartLength + 1) return {};
    text.remove_prefix(countEnd);
    return start;
}

// An item path below the data folder: "\" and names that are neither empty nor "." or "..".
bool IsItemPath(std::string_view item) {
    if (!item.starts_with('\\')) return false;
    std::size_t start = 1;
    while (start <= item.size()) {
        const std::size_t end = std::min(item.find('\\', start), item.size());
        const std::string_view part = item.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

const std::string& StartIdentity() {
    static const std::string start = DrawStartIdentity();
    return start;
}

std::string TemporaryName(std::string_view start, std::uint32_t count) {
    return std::string(kTemporaryPrefix) + std::string(start) + "-" + std::to_string(count);
}

std::string AsideName(std::string_view start, std::uint32_t count, std::string_view item) {
    return std::string(kAsidePrefix) + std::string(start) + "-" + std::to_string(count) + "-" +
           Escaped(item);
}

TemporaryNameParts TemporaryNameOf(std::string_view name) {
    if (name.starts_with(kTemporaryPrefix)) {
        name.remove_prefix(kTemporaryPrefix.size());
        const std::string_view start = TakeStartAndCount(name);
        if (start.empty() || !name.empty()) return {};
        return {false, start, {}};
    }
    if (!name.starts_with(kAsidePrefix)) return {};
    name.remove_prefix(kAsidePrefix.size());
    const std::string_view start = TakeStartAndCount(name);
    if (start.empty() || !name.starts_with('-')) return {};
    std::string item = Unescaped(name.substr(1));
    if (!IsItemPath(item)) return {};
    return {true, start, std::move(item)};
}

std::uint32_t NextTemporaryCount() {
    return ++gCount;
}

void SetTemporaryDataFolder(std::string_view dataFolder) {
    const std::lock_guard lock(gDataFolderMutex);
    gDataFolder = std::string(dataFolder);
    while (gDataFolder.ends_with('\\')) gDataFolder.pop_back();
}

std::string TemporaryDataFolderOf(std::string_view path) {
    const std::lock_guard lock(gDataFolderMutex);
    const bool below = !gDataFolder.empty() && path.size() > gDataFolder.size() + 1 &&
                       path.starts_with(gDataFolder) && path[gDataFolder.size()] == '\\';
    return below ? gDataFolder : std::string();
}

}  // namespace pelorin::platform
