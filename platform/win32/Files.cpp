// Files through kernel32's ANSI calls; errors come back as run-time error numbers.
#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <string>
#include <utility>

#include "base/RuntimeError.h"
#include "platform/StaleTemporaries.h"
#include "platform/TemporaryNames.h"

namespace pelorin::platform {
namespace {

// The one place where system errors become run-time error numbers. The grouping follows
// the Linux backend, so both builds report a condition alike.
int RuntimeErrorFromSystem(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return errors::kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return errors::kPathNotFound;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return errors::kBadFileNameOrNumber;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return errors::kDiskFull;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return errors::kPermissionDenied;
        case ERROR_TOO_MANY_OPEN_FILES:
            return errors::kTooManyFiles;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_IO_DEVICE:
            return errors::kDeviceIoError;
        default:  // access denied, already exists, not empty, not a folder and the rest
            return errors::kPathFileAccessError;
    }
}

int LastError() {
    return RuntimeErrorFromSystem(GetLastError());
}

// Readers and writers share everything, as on Linux; FILE_SHARE_DELETE also lets a
// FileReplacement rename over a file that a ReadableFile is still sending.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenShared(std::string_view path, DWORD access, DWORD disposition, DWORD attributes) {
    const std::string copy(path);
    // A NUL inside the path would silently cut it short.
    if (copy.find('\0') != std::string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(copy.c_str(), access, kShareAll, nullptr, disposition, attributes, nullptr);
}

// WriteFile takes at most 4 GiB less one byte per call.
bool WriteAll(HANDLE file, std::string_view data) {
    constexpr std::size_t kChunk = 1u << 30;
    while (!data.empty()) {
        const auto size = static_cast<DWORD>(std::min(data.size(), kChunk));
        DWORD written = 0;
        if (!WriteFile(file, data.data(), size, &written, nullptr)) return false;
        if (written == 0) {  // no progress: give up rather than spin
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

// Opens, writes and closes; 0 or a run-time error number.
int WriteWith(std::string_view path, std::string_view contents, DWORD access, DWORD disposition) {
    HANDLE file = OpenShared(path, access, disposition, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    const bool ok = WriteAll(file, contents);
    const int error = ok ? 0 : LastError();
    if (!CloseHandle(file) && ok) return LastError();
    return error;
}

bool NulFree(std::string_view text) {
    return text.find('\0') == std::string_view::npos;
}

// The folder part of a path with its separator, "" for a bare name.
std::string_view FolderOf(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? std::string_view{} : path.substr(0, cut + 1);
}

// In the data folder's hidden folder when the file lies below it, else beside the file.
std::string TemporaryNameFor(std::string_view path) {
    const std::uint32_t count = NextTemporaryCount();
    const std::string dataFolder = TemporaryDataFolderOf(path);
    if (!dataFolder.empty()) {
        return dataFolder + "\\" + std::string(kTemporaryFolderName) + "\\" +
               TemporaryName(StartIdentity(), count);
    }
    return std::string(FolderOf(path)) + std::string(kTemporaryFilePrefix) + StartIdentity() + "-" +
           std::to_string(count);
}

// The longest name the file systems take, in characters.
constexpr std::size_t kMaxNameLength = 255;

// The path that the file at `path` moves aside to, one that names the file (AsideName in
// the data folder's hidden folder, else AsideFileName beside it), or "" when that would be
// too long for a name or for these calls (Wine also counts a name's bytes in UTF-8).
std::string AsideNameFor(std::string_view path) {
    const std::uint32_t count = NextTemporaryCount();
    const std::string dataFolder = TemporaryDataFolderOf(path);
    std::string folder;
    std::string name;
    if (!dataFolder.empty()) {
        folder = dataFolder + "\\" + std::string(kTemporaryFolderName) + "\\";
        name = AsideName(StartIdentity(), count, path.substr(dataFolder.size()));
    } else {
        folder = std::string(FolderOf(path));
        name = AsideFileName(GetCurrentProcessId(), count, path.substr(folder.size()));
    }
    if (name.size() > kMaxNameLength || folder.size() + name.size() >= MAX_PATH) return {};
    return folder + name;
}

// Moves the file at `target` aside, to a name that the start-up clean-up maps back to the
// file. The new path, or "" (and access denied) when the file stays where it is: a file
// under any other name would be lost to a program killed before the next rename.
std::string MoveAside(const std::string& target) {
    const std::string aside = AsideNameFor(target);
    if (!aside.empty() && MoveFileExA(target.c_str(), aside.c_str(), 0)) return aside;
    SetLastError(ERROR_ACCESS_DENIED);
    return {};
}

// The renamed file keeps the temporary file's attributes; it takes the replaced file's
// back (or plain ones), so the result is not hidden.
void RestoreAttributes(const std::string& path, DWORD previous) {
    DWORD attributes = previous;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN);
    }
    SetFileAttributesA(path.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
}

// Windows will not rename over a file that is open, not even when every reader shares
// deleting (as ReadableFile does), but a file that is open may itself be renamed. So the
// open file moves aside, the new content takes its name, and the file moved aside is
// deleted: it goes once its last reader has closed it. The name is missing only between
// the two renames; for a program that dies right there, the start-up clean-up gives the
// file moved aside its name back (the old content, as if the replacement never began).
bool ReplaceOpenFile(const std::string& temporary, const std::string& target) {
    const std::string aside = MoveAside(target);
    if (aside.empty()) return false;
    if (!MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        MoveFileExA(aside.c_str(), target.c_str(), 0);
        SetLastError(error);
        return false;
    }
    DeleteFileA(aside.c_str());
    return true;
}

// The rename of Commit: over the file, or, when a reader holds it open, around it. Only a
// plain file that may be written is renamed around: a folder or a read-only file in the
// way fails as it would without readers.
bool RenameOver(const std::string& temporary, const std::string& target, DWORD attributes) {
    if (MoveFileExA(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    const DWORD error = GetLastError();
    const bool writablePlainFile =
        attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
    if (!writablePlainFile || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
        return false;
    }
    if (ReplaceOpenFile(temporary, target)) return true;
    SetLastError(ERROR_ACCESS_DENIED);  // the file is held: refused as any access is (75)
    return false;
}

// A search that failed for another reason than the name not being there.
bool CouldNotLook(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_NO_MORE_FILES:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_DRIVE:
            return false;
        default:
            return true;
    }
}

}  // namespace

struct DirectorySearch::State {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA data{};
    bool firstPending = false;  // FindFirstFileA already returned the first entry
    int error = 0;
};

DirectorySearch::DirectorySearch(std::string_view pattern) : state_(std::make_unique<State>()) {
    const std::size_t cut = pattern.find_last_of("\\/");
    const bool nameEmpty =
        cut == std::string_view::npos ? pattern.empty() : cut + 1 == pattern.size();
    if (nameEmpty || !NulFree(pattern)) return;
    const std::string copy(pattern);
    state_->find = FindFirstFileA(copy.c_str(), &state_->data);
    state_->firstPending = state_->find != INVALID_HANDLE_VALUE;
    if (state_->find == INVALID_HANDLE_VALUE && CouldNotLook(GetLastError())) {
        state_->error = LastError();
    }
}

DirectorySearch::~DirectorySearch() {
    if (state_->find != INVALID_HANDLE_VALUE) FindClose(state_->find);
}

bool DirectorySearch::Next(FileEntry& entry) {
    if (state_->find == INVALID_HANDLE_VALUE) return false;
    if (state_->firstPending) {
        state_->firstPending = false;
    } else if (!FindNextFileA(state_->find, &state_->data)) {
        const DWORD error = GetLastError();
        return error == ERROR_NO_MORE_FILES ? false : Failed(static_cast<int>(error));
    }
    entry.name = state_->data.cFileName;
    entry.attributes = state_->data.dwFileAttributes;
    return true;
}

int DirectorySearch::Error() const {
    return state_->error;
}

bool DirectorySearch::Failed(int error) {
    state_->error = RuntimeErrorFromSystem(static_cast<DWORD>(error));
    return false;
}

// A folder cannot be opened this way: access denied, 75.
int ReadableFile::Open(std::string_view path) {
    Close();
    HANDLE file = OpenShared(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        const int error = LastError();
        CloseHandle(file);
        return error;
    }
    handle_ = reinterpret_cast<FileHandle>(file);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return 0;
}

void ReadableFile::Close() {
    if (handle_ != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNoFile;
    size_ = 0;
}

// A read at an offset of its own: nothing else reads through this handle's file pointer.
int ReadableFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t length,
                         std::size_t& got) const {
    got = 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const auto want = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, want, &read, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) return 0;
        return LastError();
    }
    got = read;
    return 0;
}

// The size known at opening bounds the read; a file that grows meanwhile is cut there.
// The file closes on every way out.
int ReadWholeFile(std::string_view path, std::string& contents) {
    ReadableFile file;
    if (const int error = file.Open(path)) return error;
    std::string data;
    if (const int error = file.ReadAll(data)) return error;
    contents = std::move(data);
    return 0;
}

int WriteWholeFile(std::string_view path, std::string_view contents) {
    return WriteWith(path, contents, GENERIC_WRITE, CREATE_ALWAYS);
}

// Append-only access makes every write land at the end, even with other writers.
int AppendToFile(std::string_view path, std::string_view contents) {
    return WriteWith(path, contents, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
}

int CreateEmptyFile(std::string_view path) {
    return WriteWholeFile(path, {});
}

int FileReplacement::Begin(std::string_view path) {
    Discard();
    error_ = 0;
    target_ = std::string(path);
    if (!NulFree(path)) return Fail(errors::kBadFileNameOrNumber);
    std::string temporary = TemporaryNameFor(path);
    HANDLE file = OpenShared(temporary, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN);
    if (file == INVALID_HANDLE_VALUE) return Fail(LastError());
    handle_ = reinterpret_cast<FileHandle>(file);
    temporary_ = std::move(temporary);
    return 0;
}

int FileReplacement::Write(std::string_view bytes) {
    if (error_ != 0) return error_;
    if (!WriteAll(reinterpret_cast<HANDLE>(handle_), bytes)) return Fail(LastError());
    return 0;
}

int FileReplacement::Commit() {
    if (error_ != 0) return error_;
    HANDLE file = reinterpret_cast<HANDLE>(std::exchange(handle_, kNoFile));
    bool ok = FlushFileBuffers(file);
    DWORD error = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    const DWORD previous = GetFileAttributesA(target_.c_str());
    if (ok && !RenameOver(temporary_, target_, previous)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) return Fail(RuntimeErrorFromSystem(error));
    temporary_.clear();
    RestoreAttributes(target_, previous);
    return 0;
}

void FileReplacement::Discard() {
    if (handle_ != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(std::exchange(handle_, kNoFile)));
    if (!temporary_.empty()) DeleteFileA(temporary_.c_str());
    temporary_.clear();
}

// Where a deleted file keeps its name until its last reader closes it (Wine, FAT, network
// shares), the name would stay taken meanwhile. So a file in the data folder moves into
// the hidden folder first, under a name the start-up clean-up removes, and is deleted
// there: its own name is free at once.
int RemoveFile(std::string_view path) {
    if (!NulFree(path)) return errors::kBadFileNameOrNumber;
    const std::string target(path);
    if (!TemporaryDataFolderOf(path).empty()) {
        const DWORD attributes = GetFileAttributesA(target.c_str());
        const bool plainFile =
            attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
        const std::string gone = TemporaryNameFor(path);
        if (plainFile && MoveFileExA(target.c_str(), gone.c_str(), 0)) {
            DeleteFileA(gone.c_str());
            return 0;
        }
    }
    return DeleteFileA(target.c_str()) ? 0 : LastError();
}

int MakeFolder(std::string_view path) {
    if (!NulFree(path)) return errors::kBadFileNameOrNumber;
    return CreateDirectoryA(std::string(path).c_str(), nullptr) ? 0 : LastError();
}

namespace {

// Where `path` really lies, every reparse point on the way followed; "" when it cannot be
// opened (it does not exist).
std::string FinalPath(const std::string& path) {
    HANDLE handle = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::string final(4 * MAX_PATH, '\0');
    const DWORD length =
        GetFinalPathNameByHandleA(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    CloseHandle(handle);
    if (length == 0 || length >= final.size()) return {};
    final.resize(length);
    while (final.ends_with('\\')) final.pop_back();
    return final;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

bool IsBelow(std::string_view final, std::string_view root) {
    if (final.size() < root.size() || !SameIgnoringCase(final.substr(0, root.size()), root)) {
        return false;
    }
    return final.size() == root.size() || final[root.size()] == '\\';
}

}  // namespace

// The deepest part of the path that exists is opened, reparse points followed, and its
// final path must lie in the folder's own; below it nothing exists yet to lead anywhere.
bool LeavesFolder(std::string_view folder, std::string_view path) {
    if (!NulFree(path)) return false;
    std::string own(folder);
    while (own.ends_with('\\') || own.ends_with('/')) own.pop_back();
    const std::string root = FinalPath(own);
    if (root.empty()) return false;
    std::string probe(path);
    while (probe.size() > own.size()) {
        while (probe.ends_with('\\') || probe.ends_with('/')) probe.pop_back();
        const std::string final = FinalPath(probe);
        if (!final.empty()) return !IsBelow(final, root);
        const std::size_t cut = probe.find_last_of("\\/");
        if (cut == std::string::npos) return false;
        probe.resize(cut);
    }
    return false;
}

bool ReadableFile::OpenBeneath(std::string_view folder, std::string_view path) {
    return !LeavesFolder(folder, path) && Open(path) == 0;
}

// Windows takes every folder name as written.
int MakeOwnFolder(std::string_view path) {
    return MakeFolder(path);
}

// A plain file answers ERROR_DIRECTORY, which reads as 75.
int RemoveFolder(std::string_view path) {
    if (!NulFree(path)) return errors::kBadFileNameOrNumber;
    return RemoveDirectoryA(std::string(path).c_str()) ? 0 : LastError();
}

}  // namespace pelorin::platform
