// The file operations of the store and the diagnostics, with their error numbers.
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/RuntimeError.h"
#include "platform/Process.h"
#include "platform/StaleTemporaries.h"
#include "testing/TempFolder.h"
#include "testing/TestLoop.h"
#include "testing/TestSystem.h"

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

// A replacement written in pieces stays out of sight until Commit, and a reader that
// opened the file before keeps reading what it opened. Discarded, or failed from the
// start, it leaves the old content and no temporary file.
TEST(Files, ReplacementInPiecesLandsAtOnceWhileReadersKeepWhatTheyOpened) {
    TempFolder folder;
    const std::string path = folder.path() + "item";
    ASSERT_EQ(WriteWholeFile(path, "old content"), 0);
    ReadableFile reader;
    ASSERT_EQ(reader.Open(path), 0);
    FileReplacement replacement;
    ASSERT_EQ(replacement.Begin(path), 0);
    ASSERT_EQ(replacement.Write("new "), 0);
    ASSERT_EQ(replacement.Write("content!"), 0);
    std::string out;
    ASSERT_EQ(ReadWholeFile(path, out), 0);
    EXPECT_EQ(out, "old content");
    ASSERT_EQ(replacement.Commit(), 0);
    ASSERT_EQ(ReadWholeFile(path, out), 0);
    EXPECT_EQ(out, "new content!");
    ASSERT_EQ(reader.ReadAll(out), 0);
    EXPECT_EQ(out, "old content");
    reader.Close();

    FileReplacement discarded;
    ASSERT_EQ(discarded.Begin(path), 0);
    ASSERT_EQ(discarded.Write("never"), 0);
    discarded.Discard();
    FileReplacement nowhere;
    EXPECT_EQ(nowhere.Begin(folder.path() + "nofolder\\x"), errors::kPathNotFound);
    EXPECT_EQ(nowhere.Write("x"), errors::kPathNotFound);
    EXPECT_EQ(nowhere.Commit(), errors::kPathNotFound);
    ASSERT_EQ(ReadWholeFile(path, out), 0);
    EXPECT_EQ(out, "new content!");
    EXPECT_EQ(List(folder.path() + "*").size(), 3u);  // ".", "..", "item"
}

// On Windows a file that is being read moves aside under a longer name while the new
// content takes its own; at the longest path the calls take, the longer name cannot be
// had, and the replacement is refused (75) rather than the file put under a name that
// no clean-up would give back. Where a file being read may be renamed over, it is
// replaced. Either way the reader keeps the old content and nothing else is left.
TEST(Files, AFileBeingReadAtTheLongestPathIsReplacedOrRefusedWhole) {
    TempFolder folder;
    constexpr std::size_t kLongPath = 250;  // MAX_PATH less ten
    ASSERT_LT(folder.path().size(), kLongPath - 32);
    const std::string path = folder.path() + std::string(kLongPath - folder.path().size(), 'n');
    ASSERT_EQ(WriteWholeFile(path, "old"), 0);
    ReadableFile reader;
    ASSERT_EQ(reader.Open(path), 0);
    const int result = ReplaceFileAtomically(path, "new");
    std::string out;
    ASSERT_EQ(ReadWholeFile(path, out), 0);
    if (result == 0) {
        EXPECT_EQ(out, "new");
    } else {
        EXPECT_EQ(result, errors::kPathFileAccessError);
        EXPECT_EQ(out, "old");
    }
    ASSERT_EQ(reader.ReadAll(out), 0);
    EXPECT_EQ(out, "old");
    reader.Close();
    EXPECT_EQ(List(folder.path() + "*").size(), 3u);  // ".", "..", the file
}

// A file deleted while it is being read gives its name up at once, even where the file
// system keeps a deleted file's name until its last reader closes it: the name can be
// taken again, no search finds the old file, and the reader goes on reading it.
TEST(Files, ADeletedFileBeingReadGivesItsNameUpAtOnce) {
    TempFolder folder;
    const std::string data = folder.path() + "data";
    ASSERT_EQ(MakeFolder(data), 0);
    ASSERT_TRUE(OpenTemporaryFolder(data));
    const std::string path = data + "\\item";
    ASSERT_EQ(WriteWholeFile(path, "old"), 0);
    ReadableFile reader;
    ASSERT_EQ(reader.Open(path), 0);
    EXPECT_EQ(RemoveFile(path), 0);
    EXPECT_TRUE(List(path).empty());
    EXPECT_TRUE(List(data + "\\*").size() == 3u);  // ".", "..", the hidden folder
    ASSERT_EQ(CreateEmptyFile(path), 0);
    std::string out;
    ASSERT_EQ(reader.ReadAll(out), 0);
    EXPECT_EQ(out, "old");
    reader.Close();
    CloseTemporaryFolder();
}

// A file too large to hold is refused as out of memory, and closed again on that way
// out as on every other. Only tmpfs takes a (sparse) file far beyond what memory can
// hold: the Linux shared memory folder, as each build names it. A memory checker or a
// sanitizer ends the program at a failed allocation instead of throwing.
TEST(Files, AFileTooLargeToHoldIsRefusedAndClosed) {
    if (testing::TimeScale() > 1 || PELORIN_SANITIZED) {
        GTEST_SKIP() << "a failed allocation does not throw here";
    }
    constexpr std::uint64_t kHuge = (std::uint64_t{1} << 62) + 1;
    const std::string name = "pelorin-huge-" + std::to_string(std::random_device{}());
    std::string path;
    for (const std::string folder : {"/dev/shm/", "Z:\\dev\\shm\\"}) {
        if (testing::MakeSparseFile(folder + name, kHuge)) {
            path = folder + name;
            break;
        }
    }
    if (path.empty()) GTEST_SKIP() << "no file system here takes a file of 2^62 bytes";
    struct Removed {
        const std::string& path;
        ~Removed() { RemoveFile(path); }
    } removed{path};
    const std::size_t handles = testing::OpenHandleCount();
    std::string contents = "before";
    EXPECT_EQ(ReadWholeFile(path, contents), errors::kOutOfMemory);
    EXPECT_EQ(testing::OpenHandleCount(), handles);
    ReadableFile file;
    ASSERT_EQ(file.Open(path), 0);
    EXPECT_EQ(file.Size(), kHuge);
    EXPECT_EQ(file.ReadAll(contents), errors::kOutOfMemory);
    file.Close();
    EXPECT_EQ(testing::OpenHandleCount(), handles);
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
