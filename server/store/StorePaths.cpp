#include "server/store/StorePaths.h"

#include <algorithm>
#include <cstdint>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "platform/FileNames.h"
#include "platform/Files.h"

namespace pelorin {
namespace {

using platform::FileEntry;

// A folder path searches the folder's entries, as a bare folder name would not.
std::string SearchPatternOf(std::string_view storePath) {
    std::string pattern(storePath);
    if (pattern.ends_with('\\')) pattern += "*.*";
    return pattern;
}

// A search that could not look is no "not there": its error is the answer.
bool AnyEntry(std::string_view storePath, std::uint32_t refusedAttributes) {
    platform::DirectorySearch search(SearchPatternOf(storePath));
    FileEntry entry;
    while (search.Next(entry)) {
        if ((entry.attributes & refusedAttributes) == 0) return true;
    }
    if (const int error = search.Error()) throw RuntimeError(error);
    return false;
}

constexpr std::uint32_t kNotPlain = platform::kAttrHidden | platform::kAttrSystem;

// Windows takes these names for devices in every folder, whatever the letter case: the
// existence tests find them, "GET /nul" reads the null device and "NEW /con" opens the
// console. Refused on Linux as well, so that both answer alike. With every "." removed
// from a name, no device name can carry an extension here.
bool IsDeviceName(std::string_view part) {
    const std::string upper = UpperCase(part);
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (upper == device) return true;
    }
    if (upper.size() != 4 || !(StartsWith(upper, "COM") || StartsWith(upper, "LPT"))) {
        return false;
    }
    // A digit, or the superscript 1, 2 or 3 of the ANSI code page.
    const auto last = static_cast<unsigned char>(upper.back());
    return (last >= '0' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
}

bool IsBlankName(std::string_view part) {
    return !part.empty() && part.find_first_not_of(' ') == std::string_view::npos;
}

bool HasRefusedPart(std::string_view storeName) {
    std::size_t start = 0;
    while (start <= storeName.size()) {
        const std::size_t end = std::min(storeName.find('\\', start), storeName.size());
        const std::string_view part = storeName.substr(start, end - start);
        if (IsDeviceName(part) || IsBlankName(part)) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

std::string StoreNameOf(std::string_view requestTarget) {
    std::string name = ReplaceAll(requestTarget, ".", "");
    name = ReplaceAll(name, "/", "\\");
    name = ReplaceAll(name, "\\\\", "\\");
    if (!name.starts_with('\\')) name.insert(0, 1, '\\');
    return name;
}

std::string StorePathOf(std::string_view dataFolder, std::string_view requestTarget) {
    return std::string(dataFolder) + StoreNameOf(requestTarget);
}

bool NamesDataFolder(std::string_view storeName) {
    return storeName.find_first_not_of("\\ ") == std::string_view::npos;
}

int RefusedNameError(std::string_view storeName, bool patternsAllowed) {
    const bool refused =
        platform::HasRefusedNameCharacter(storeName, patternsAllowed) || HasRefusedPart(storeName);
    return refused ? errors::kBadFileNameOrNumber : 0;
}

bool PlainFileExists(std::string_view storePath) {
    return AnyEntry(storePath, kNotPlain | platform::kAttrDirectory);
}

bool EntryExists(std::string_view storePath) {
    return AnyEntry(storePath, kNotPlain);
}

bool FolderExists(std::string_view storePath) {
    return AnyEntry(storePath, kNotPlain);
}

}  // namespace pelorin
