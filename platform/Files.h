// Directory search and the file operations of the store and the diagnostics.
//
// Paths are byte strings that use "\" as the separator, as on Windows; the Linux backend
// turns it into "/" at the file system and looks names up without regard to letter case
// when the exact name is missing, as Windows does. There the longest leading folder of a
// path that exists as written is taken as it stands: it is the program's folder or the one
// its command line named, and may hold any name Linux allows. The Windows rules (letter
// case, trailing dots and spaces dropped, the characters Windows refuses in names) apply
// to the names after it. File operations answer 0 or a run-time error number
// (RuntimeError.h): 53 file not found, 76 path not found, 75 path/file access error, 70
// permission denied, 61 disk full, 52 bad file name or number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pelorin::platform {

// Entry attributes (Windows values). On Linux a name beginning with "." is hidden.
constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrSystem = 0x04;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;
constexpr std::uint32_t kAttrNormal = 0x80;

struct FileEntry {
    std::string name;
    std::uint32_t attributes = 0;
};

// FindFirstFile/FindNextFile/FindClose over one pattern: a folder, "\" and a name that
// may hold the wildcards "*" and "?" (Windows rules, letter case ignored; "*.*" matches
// every name). A folder's own "." and ".." entries are found like other entries.
class DirectorySearch {
  public:
    explicit DirectorySearch(std::string_view pattern);
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // The next matching entry, in the file system's order; false when there is none.
    bool Next(FileEntry& entry);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The whole file as bytes.
int ReadWholeFile(std::string_view path, std::string& contents);
// Creates or truncates the file and writes `contents`.
int WriteWholeFile(std::string_view path, std::string_view contents);
// Appends, creating the file when missing.
int AppendToFile(std::string_view path, std::string_view contents);
// Replaces the file's content all at once: the new content is written to a hidden
// temporary file in the same folder, flushed and renamed over the old file. On failure
// the old content stays and no temporary file is left.
int ReplaceFileAtomically(std::string_view path, std::string_view contents);
// Opens the file for output, which creates it empty (or empties it), and closes it.
int CreateEmptyFile(std::string_view path);
int RemoveFile(std::string_view path);
int MakeFolder(std::string_view path);
int RemoveFolder(std::string_view path);  // fails when not empty
// Makes the folder the program keeps its files in when its command line named one. Its
// name is the user's and is taken as written: on Linux none of the Windows rules apply.
int MakeOwnFolder(std::string_view path);

// Prefix of the hidden temporary files of ReplaceFileAtomically.
constexpr std::string_view kTemporaryFilePrefix = ".pelorin-tmp-";

}  // namespace pelorin::platform
