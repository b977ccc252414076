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

#include <cstddef>
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
    // 0, or the run-time error number that kept the search from looking (descriptors used
    // up, a folder that may not be read, a failing disk): no entry then means "could not
    // tell", not "not there". A missing folder or name is no error.
    int Error() const;

  private:
    bool Failed(int error);  // keeps the error; false

    struct State;
    std::unique_ptr<State> state_;
};

// The whole file as bytes; 7 (out of memory) when it is too large to hold.
int ReadWholeFile(std::string_view path, std::string& contents);
// Creates or truncates the file and writes `contents`.
int WriteWholeFile(std::string_view path, std::string_view contents);
// Appends, creating the file when missing.
int AppendToFile(std::string_view path, std::string_view contents);
// Replaces the file's content all at once (FileReplacement in one go). On failure the
// old content stays and no temporary file is left.
int ReplaceFileAtomically(std::string_view path, std::string_view contents);
// Opens the file for output, which creates it empty (or empties it), and closes it.
int CreateEmptyFile(std::string_view path);
int RemoveFile(std::string_view path);
int MakeFolder(std::string_view path);
int RemoveFolder(std::string_view path);  // fails when not empty
// Makes the folder the program keeps its files in when its command line named one. Its
// name is the user's and is taken as written: on Linux none of the Windows rules apply.
int MakeOwnFolder(std::string_view path);

// True when `path`, a path below `folder`, leads out of it: a link (a reparse point on
// Windows) on the way, or at its end, points outside. Links that stay inside are fine.
// Where the path stops existing, the rest is taken as written.
bool LeavesFolder(std::string_view folder, std::string_view path);

// Prefix of the hidden temporary files of FileReplacement beside files that lie outside
// the data folder of OpenTemporaryFolder (and of older versions' temporaries everywhere).
constexpr std::string_view kTemporaryFilePrefix = ".pelorin-tmp-";

// A descriptor on Linux, a HANDLE on Windows; kNoFile when none.
using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// A file open for reading, read from any offset without moving anything. Its name may be
// renamed over or deleted meanwhile (Windows: it is shared for deleting): what is read is
// still the file that was opened, so a reader never sees a replacement's content.
class ReadableFile {
  public:
    ReadableFile() = default;
    ~ReadableFile() { Close(); }
    ReadableFile(ReadableFile&& other) noexcept;
    ReadableFile& operator=(ReadableFile&& other) noexcept;
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    // Opens the file (closing one held before): 0 or an error number; a folder is 75.
    int Open(std::string_view path);
    // Opens `path`, a path below `folder`, as Open does when it does not lead out of the
    // folder (LeavesFolder): the usual case in one step. False leaves the question to
    // LeavesFolder and Open, which tell why (a missing name, a link, a folder).
    bool OpenBeneath(std::string_view folder, std::string_view path);
    void Close();
    bool IsOpen() const { return handle_ != kNoFile; }
    // The length when it was opened.
    std::uint64_t Size() const { return size_; }
    // Up to `length` bytes from `offset`; `got` is 0 at the end of the file. 0 or an error.
    int ReadAt(std::uint64_t offset, char* buffer, std::size_t length, std::size_t& got) const;
    // Bytes 0 to Size() (fewer when the file shrank); 7 when they are too many to hold.
    int ReadAll(std::string& contents) const;
    FileHandle Handle() const { return handle_; }

  private:
    FileHandle handle_ = kNoFile;
    std::uint64_t size_ = 0;
};

// A file's new content, written in pieces to a hidden temporary file and put in its place
// at once by Commit: until then the file keeps its old content whole, and readers of it
// are not disturbed. The temporary file lies in the data folder's hidden folder
// (OpenTemporaryFolder) for a file below it, else beside the file. It is gone when the
// object is, unless the process died (the next start tidies up after that).
class FileReplacement {
  public:
    FileReplacement() = default;
    ~FileReplacement() { Discard(); }
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the temporary file for the file at `path`: 0 or an error number.
    int Begin(std::string_view path);
    // Appends `bytes`: 0 or an error number. The first failure (of Begin as well) removes
    // the temporary file; from then on nothing is written and every call answers it.
    int Write(std::string_view bytes);
    // Flushes the content to the disk and renames it over the file: 0 or the first error
    // of all. The temporary file is gone either way.
    int Commit();
    // Removes the temporary file; the file keeps its old content.
    void Discard();

  private:
    int Fail(int error);

    FileHandle handle_ = kNoFile;
    std::string target_;     // the path given to Begin
    std::string temporary_;  // "" once removed or renamed
    int error_ = 0;
};

}  // namespace pelorin::platform
