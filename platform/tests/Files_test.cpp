// The file operations of the store and the diagnostics, with their error numbers.
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/RuntimeError.h"
#include "platform/Process.h"
#include "testing/TempFolder.h"

namespace pelorin::platform {
namespace {

using testing::TempFolder;

std::vector<FileEntry> List(const std::string& pattern) {
    std::vector<FileEntry> entries;
    DirectorySearch search(pattern);
    FileEntry entry;
    while (search.Next(entry)) entries.push_back(entry);
    return entries;
}

const FileEntry* Named(const std::vector<FileEntry>& entries, const std::string& name) {
    for (const auto& e : entries) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

TEST(Files, BytesGoInAndComeOutUnchanged) {
    TempFolder folder;
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    all += "\r\n\n\r";
    const std::string path = folder.path() + "bytes";
    ASSERT_EQ(WriteWholeFile(path, all), 0);
    std::string back;
    ASSERT_EQ(ReadWholeFile(path, back), 0);
    EXPECT_EQ(back, all);
    ASSERT_EQ(AppendToFile(path, "tail"), 0);
    ASSERT_EQ(ReadWholeFile(path, back), 0);
    EXPECT_EQ(back, all + "tail");
    ASSERT_EQ(AppendToFile(folder.path() + "new", "line\r\n"), 0);
    ASSERT_EQ(ReadWholeFile(folder.path() + "new", back), 0);
    EXPECT_EQ(back, "line\r\n");
    ASSERT_EQ(CreateEmptyFile(path), 0);
    ASSERT_EQ(ReadWholeFile(path, back), 0);
    EXPECT_EQ(back, "");
}

// Sizes around the reader's buffer and growth steps come back whole.
TEST(Files, FilesOfAnySizeReadBackWhole) {
    TempFolder folder;
    for (const std::size_t size : {1u, 4095u, 65535u, 65536u, 65537u, 300001u}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 253);
        const std::string path = folder.path() + "sized";
        ASSERT_EQ(WriteWholeFile(path, bytes), 0);
        std::string back = "left over";
        ASSERT_EQ(ReadWholeFile(path, back), 0);
        EXPECT_TRUE(back == bytes) << size;
    }
}

TEST(Files, ErrorNumbersNameTheCause) {
    TempFolder folder;
    std::string out;
    EXPECT_EQ(ReadWholeFile(folder.path() + "missing", out), errors::kFileNotFound);
    EXPECT_EQ(ReadWholeFile(folder.path() + "nofolder\\x", out), errors::kPathNotFound);
    EXPECT_EQ(WriteWholeFile(folder.path() + "nofolder\\x", "a"), errors::kPathNotFound);
    ASSERT_EQ(MakeFolder(folder.path() + "sub"), 0);
    EXPECT_EQ(ReadWholeFile(folder.path() + "sub", out), errors::kPathFileAccessError);
    EXPECT_EQ(MakeFolder(folder.path() + "sub"), errors::kPathFileAccessError);
    EXPECT_EQ(RemoveFile(folder.path() + "missing"), errors::kFileNotFound);
    ASSERT_EQ(WriteWholeFile(folder.path() + "sub\\inner", "x"), 0);
    EXPECT_EQ(RemoveFolder(folder.path() + "sub"), errors::kPathFileAccessError);  // not empty
    EXPECT_EQ(RemoveFolder(folder.path() + "sub\\inner"), errors::kPathFileAccessError);  // a file
    ASSERT_EQ(RemoveFile(folder.path() + "sub\\inner"), 0);
    EXPECT_EQ(RemoveFolder(folder.path() + "sub"), 0);
}

TEST(Files, NamesTheFileSystemRefusesAreBadFileNames) {
    TempFolder folder;
    std::string out;
    EXPECT_EQ(WriteWholeFile(folder.path() + "a<b", "x"), errors::kBadFileNameOrNumber);
    EXPECT_EQ(WriteWholeFile(folder.path() + "a|b", "x"), errors::kBadFileNameOrNumber);
    EXPECT_EQ(WriteWholeFile(folder.path() + "a*b", "x"), errors::kBadFileNameOrNumber);
    ASSERT_EQ(WriteWholeFile(folder.path() + "item", "x"), 0);
    EXPECT_EQ(ReadWholeFile(folder.path() + "item\\", out), errors::kBadFileNameOrNumber);
    // A NUL byte must not cut the name short and reach another file.
    ASSERT_EQ(WriteWholeFile(folder.path() + "a", "keep"), 0);
    const std::string withNul = folder.path() + std::string("a\0b", 3);
    EXPECT_EQ(WriteWholeFile(withNul, "x"), errors::kBadFileNameOrNumber);
    EXPECT_EQ(RemoveFile(withNul), errors::kBadFileNameOrNumber);
    EXPECT_EQ(ReadWholeFile(folder.path() + "a", out), 0);
    EXPECT_EQ(out, "keep");
    EXPECT_TRUE(List(withNul).empty());
}

TEST(Files, NamesAreFoundWhateverTheirLetterCase) {
    TempFolder folder;
    ASSERT_EQ(MakeFolder(folder.path() + "Sub"), 0);
    ASSERT_EQ(WriteWholeFile(folder.path() + "Sub\\MixedCase", "m"), 0);
    std::string out;
    EXPECT_EQ(ReadWholeFile(folder.path() + "sub\\mixedcase", out), 0);
    EXPECT_EQ(out, "m");
    ASSERT_EQ(WriteWholeFile(folder.path() + "SUB\\MIXEDCASE", "n"), 0);
    const auto entries = List(folder.path() + "sub\\*");
    EXPECT_NE(Named(entries, "MixedCase"), nullptr);
    EXPECT_EQ(Named(entries, "MIXEDCASE"), nullptr);  // the same file, not a second one
    const auto exact = List(folder.path() + "sub\\MIXEDCASE");
    ASSERT_EQ(exact.size(), 1u);
    EXPECT_EQ(exact[0].name, "MixedCase");
}

TEST(Files, SearchReportsFoldersHiddenEntriesAndTheFolderItself) {
    TempFolder folder;
    ASSERT_EQ(MakeFolder(folder.path() + "dir"), 0);
    ASSERT_EQ(WriteWholeFile(folder.path() + "plain", ""), 0);
    ASSERT_EQ(WriteWholeFile(folder.path() + ".hidden", ""), 0);
    const auto entries = List(folder.path() + "*.*");
    ASSERT_NE(Named(entries, "."), nullptr);
    EXPECT_TRUE(Named(entries, ".")->attributes & kAttrDirectory);
    EXPECT_FALSE(Named(entries, ".")->attributes & kAttrHidden);
    ASSERT_NE(Named(entries, "dir"), nullptr);
    EXPECT_TRUE(Named(entries, "dir")->attributes & kAttrDirectory);
    ASSERT_NE(Named(entries, "plain"), nullptr);
    EXPECT_FALSE(Named(entries, "plain")->attributes & (kAttrDirectory | kAttrHidden));
    ASSERT_NE(Named(entries, ".hidden"), nullptr);
    EXPECT_TRUE(Named(entries, ".hidden")->attributes & kAttrHidden);
    EXPECT_TRUE(List(folder.path() + "nothing*").empty());
    EXPECT_TRUE(List(folder.path() + "nofolder\\*").empty());
    EXPECT_TRUE(List(folder.path()).empty());  // no name to look for
}

TEST(Files, AtomicReplaceLeavesTheOldContentOrTheNewAndNoTemporaryFile) {
    TempFolder folder;
    const std::string path = folder.path() + "item";
    ASSERT_EQ(WriteWholeFile(path, "old"), 0);
    ASSERT_EQ(ReplaceFileAtomically(path, "new content"), 0);
    std::string out;
    ASSERT_EQ(ReadWholeFile(path, out), 0);
    EXPECT_EQ(out, "new content");
    // A folder in the way: the replacement fails and leaves everything as it was.
    ASSERT_EQ(MakeFolder(folder.path() + "dir"), 0);
    ASSERT_EQ(WriteWholeFile(folder.path() + "dir\\inside", "i"), 0);
    EXPECT_NE(ReplaceFileAtomically(folder.path() + "dir", "x"), 0);
    EXPECT_EQ(ReplaceFileAtomically(folder.path() + "nofolder\\x", "x"), errors::kPathNotFound);
    const auto entries = List(folder.path() + "*");
    EXPECT_EQ(entries.size(), 4u);  // ".", "..", "item", "dir"
    for (const auto& e : entries) {
        EXPECT_NE(e.name.rfind(std::string(kTemporaryFilePrefix), 0), 0u) << e.name;
    }
}

TEST(Process, ProgramFolderAndCommandLine) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.back() == '\\' || folder.back() == '/');
    EXPECT_FALSE(List(folder + "*").empty());
    EXPECT_EQ(CommandLineArguments().find("platform_tests"), std::string::npos);
}

}  // namespace
}  // namespace pelorin::platform
