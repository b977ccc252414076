#include "TempProgramFolder.h"

#include <algorithm>

#include "platform/Files.h"

namespace pelorin::testing {

bool TempProgramFolder::Has(const std::string& name) const {
    platform::DirectorySearch search(folder_.path() + name);
    platform::FileEntry entry;
    return search.Next(entry);
}

std::string TempProgramFolder::Read(const std::string& name) const {
    std::string contents;
    if (platform::ReadWholeFile(folder_.path() + name, contents) != 0) contents.clear();
    return contents;
}

void TempProgramFolder::Write(const std::string& name, const std::string& contents) const {
    platform::WriteWholeFile(folder_.path() + name, contents);
}

std::vector<std::string> TempProgramFolder::Names() const {
    std::vector<std::string> names;
    platform::DirectorySearch search(folder_.path() + "*");
    platform::FileEntry entry;
    while (search.Next(entry)) {
        if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace pelorin::testing
