// What the files of both backends share: the reading of a whole open file through ReadAt.
#include "platform/Files.h"

#include <exception>
#include <string>

#include "base/RuntimeError.h"

namespace pelorin::platform {

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

}  // namespace pelorin::platform
