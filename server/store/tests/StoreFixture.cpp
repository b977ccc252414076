#include "StoreFixture.h"

#include <algorithm>

#include "diagnostics/Debug_Modul.h"
#include "platform/Files.h"
#include "platform/StaleTemporaries.h"
#include "platform/TemporaryNames.h"
#include "settings/ProgramSettings.h"

namespace pelorin::testing {

void StoreFixture::SetUp() {
    SetProgramFolderPath(folder_.path());
    SetLineBreak("\r\n");
    SetUnloading(false);
    SetDebugReady(true);
    ResetDiagnostics();
    SetLogLevel(2);
    ASSERT_EQ(platform::MakeFolder(Data()), 0);
}

void StoreFixture::TearDown() {
    ResetDiagnostics();
    SetDebugReady(false);
    SetProgramFolderPath("");
    platform::CloseTemporaryFolder();
}

void StoreFixture::Put(const std::string& name, const std::string& contents) const {
    ASSERT_EQ(platform::WriteWholeFile(InData(name), contents), 0) << name;
}

void StoreFixture::MakeDir(const std::string& name) const {
    ASSERT_EQ(platform::MakeFolder(InData(name)), 0) << name;
}

bool StoreFixture::Has(const std::string& name) const {
    platform::DirectorySearch search(InData(name));
    platform::FileEntry entry;
    return search.Next(entry);
}

std::string StoreFixture::Contents(const std::string& name) const {
    std::string contents;
    if (platform::ReadWholeFile(InData(name), contents) != 0) return {};
    return contents;
}

std::vector<std::string> StoreFixture::Names(const std::string& folder) const {
    const std::string base = folder.empty() ? Data() : InData(folder);
    platform::DirectorySearch search(base + "\\*");
    platform::FileEntry entry;
    std::vector<std::string> names;
    while (search.Next(entry)) {
        if (entry.name == "." || entry.name == "..") continue;
        if (entry.name != platform::kTemporaryFolderName) {
            names.push_back(entry.name);
            continue;
        }
        // The store's own temporaries show, the folder they lie in and its lock do not.
        for (const std::string& name : Names(std::string(platform::kTemporaryFolderName))) {
            if (name != platform::kTemporaryLockName) names.push_back(entry.name + "\\" + name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> StoreFixture::TakeLog() {
    const std::string file = folder_.path() + "log.txt";
    std::string text;
    platform::ReadWholeFile(file, text);
    platform::RemoveFile(file);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace pelorin::testing
