// What the files of both backends share, written once over what each backend provides:
// moving an open file, reading it whole through ReadAt, replacing a file in one go.
#include "platform/Files.h"

#include <exception>
#include <string>
#include <utility>

#include "base/RuntimeError.h"

namespace pelorin::platform {

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoFile)), size_(std::exchange(other.size_, 0)) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kNoFile);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

int ReadableFile::ReadAll(std::string& contents) const {
    // A 32-bit program cannot hold 4 GiB: the size must not be cut to its low bits.
    if (size_ > contents.max_size()) {
        contents.clear();
        return errors::kOutOfMemory;
    }
    try {
        contents.resize(static_cast<std::size_t>(size_));
    } catch (const std::exception&) {  // bad_alloc, or beyond what a string holds
        contents.clear();
        return errors::kOutOfMemory;
    }
    std::size_t done = 0;
    while (done < contents.size()) {
        std::size_t got = 0;
        if (const int error = ReadAt(done, contents.data() + done, contents.size() - done, got)) {
            contents.clear();
            return error;
        }
        if (got == 0) break;  // the file shrank
        done += got;
    }
    contents.resize(done);
    return 0;
}

int FileReplacement::Fail(int error) {
    Discard();
    error_ = error;
    return error;
}

int ReplaceFileAtomically(std::string_view path, std::string_view contents) {
    FileReplacement replacement;
    if (const int error = replacement.Begin(path)) return error;
    if (const int error = replacement.Write(contents)) return error;
    return replacement.Commit();
}

}  // namespace pelorin::platform
