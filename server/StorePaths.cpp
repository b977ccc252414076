#include "server/StorePaths.h"

#include <cstdint>

#include "platform/FileNames.h"
#include "platform/Files.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace pelorin {
namespace {

using platform::FileEntry;

// A folder path searches the folder's entries, as a bare folder name would not.
std::string SearchPatternOf(std::string_view storePath) {
    std::string pattern(storePath);
    if (pattern.ends_with('\\')) pattern += "*.*";
    return pattern;
}

bool AnyEntry(std::string_view storePath, std::uint32_t refusedAttributes) {
    platform::DirectorySearch search(SearchPatternOf(storePath));
    FileEntry entry;
    while (search.Next(entry)) {
        if ((entry.attributes & refusedAttributes) == 0) return true;
    }
    return false;
}

constexpr std::uint32_t kNotPlain = platform::kAttrHidden | platform::kAttrSystem;

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

int RefusedNameError(std::string_view storeName, bool patternsAllowed) {
    return platform::HasRefusedNameCharacter(storeName, patternsAllowed)
               ? errors::kBadFileNameOrNumber
               : 0;
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
