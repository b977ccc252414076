#include "testing/TempFolder.h"

#include <atomic>
#include <random>

#include "platform/Files.h"
#include "platform/Process.h"

namespace pelorin::testing {
namespace {

void RemoveTree(const std::string& folder) {
    platform::DirectorySearch search(folder + "*");
    platform::FileEntry entry;
    while (search.Next(entry)) {
        if (entry.name == "." || entry.name == "..") continue;
        if (entry.attributes & platform::kAttrDirectory) {
            RemoveTree(folder + entry.name + "\\");
        } else {
            platform::RemoveFile(folder + entry.name);
        }
    }
    platform::RemoveFolder(folder.substr(0, folder.size() - 1));
}

}  // namespace

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    const std::string base = platform::ProgramFolder() + "test-tmp-" +
                             std::to_string(std::random_device{}()) + "-" +
                             std::to_string(++counter);
    platform::MakeFolder(base);
    path_ = base + "\\";
}

TempFolder::~TempFolder() {
    RemoveTree(path_);
}

}  // namespace pelorin::testing
