// Files through kernel32's ANSI calls; errors come back as run-time error numbers.
#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "base/RuntimeError.h"

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

// Readers and writers share everything, as on Linux; FILE_SHARE_DELETE also lets
// ReplaceFileAtomically rename over a file somebody is reading.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(std::string_view path, DWORD access, DWORD disposition, DWORD attributes) {
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
    HANDLE file = Open(path, access, disposition, FILE_ATTRIBUTE_NORMAL);
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

std::atomic<unsigned> gTemporaryCounter{0};

std::string TemporaryNameFor(std::string_view path) {
    return std::string(FolderOf(path)) + std::string(kTemporaryFilePrefix) +
           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++gTemporaryCounter);
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

}  // namespace

struct DirectorySearch::State {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA data{};
    bool firstPending = false;  // FindFirstFileA already returned the first entry
};

DirectorySearch::DirectorySearch(std::string_view pattern) : state_(std::make_unique<State>()) {
    const std::size_t cut = pattern.find_last_of("\\/");
    const bool nameEmpty =
        cut == std::string_view::npos ? pattern.empty() : cut + 1 == pattern.size();
    if (nameEmpty || !NulFree(pattern)) return;
    const std::string copy(pattern);
    state_->find = FindFirstFileA(copy.c_str(), &state_->data);
    state_->firstPending = state_->find != INVALID_HANDLE_VALUE;
}

DirectorySearch::~DirectorySearch() {
    if (state_->find != INVALID_HANDLE_VALUE) FindClose(state_->find);
}

bool DirectorySearch::Next(FileEntry& entry) {
    if (state_->find == INVALID_HANDLE_VALUE) return false;
    if (state_->firstPending) {
        state_->firstPending = false;
    } else if (!FindNextFileA(state_->find, &state_->data)) {
        return false;
    }
    entry.name = state_->data.cFileName;
    entry.attributes = state_->data.dwFileAttributes;
    return true;
}

// The size known at opening bounds the read; a file that grows meanwhile is cut there.
int ReadWholeFile(std::string_view path, std::string& contents) {
    HANDLE file = Open(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return LastError();  // a folder: access denied, 75
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        const int error = LastError();
        CloseHandle(file);
        return error;
    }
    std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    int error = 0;
    while (done < data.size()) {
        const auto want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file, data.data() + done, want, &got, nullptr)) {
            error = LastError();
            break;
        }
        if (got == 0) break;  // the file shrank
        done += got;
    }
    CloseHandle(file);
    if (error != 0) return error;
    data.resize(done);
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

int ReplaceFileAtomically(std::string_view path, std::string_view contents) {
    if (!NulFree(path)) return errors::kBadFileNameOrNumber;
    const std::string target(path);
    const std::string temporary = TemporaryNameFor(path);
    HANDLE file = Open(temporary, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    bool ok = WriteAll(file, contents) && FlushFileBuffers(file);
    DWORD error = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    const DWORD previous = GetFileAttributesA(target.c_str());
    if (ok && !MoveFileExA(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temporary.c_str());
        return RuntimeErrorFromSystem(error);
    }
    RestoreAttributes(target, previous);
    return 0;
}

int RemoveFile(std::string_view path) {
    if (!NulFree(path)) return errors::kBadFileNameOrNumber;
    return DeleteFileA(std::string(path).c_str()) ? 0 : LastError();
}

int MakeFolder(std::string_view path) {
    if (!NulFree(path)) return errors::kBadFileNameOrNumber;
    return CreateDirectoryA(std::string(path).c_str(), nullptr) ? 0 : LastError();
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
