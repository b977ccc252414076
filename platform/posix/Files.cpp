// The file system as Windows programs see it: "\" separators, names looked up without
// regard to letter case, Windows' run-time error numbers.
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <exception>
#include <string>
#include <utility>

#include "base/RuntimeError.h"
#include "platform/BeneathWalk.h"
#include "platform/FileNames.h"
#include "platform/TemporaryNames.h"
#include "platform/Wildcard.h"

namespace pelorin::platform {
namespace {

// Windows drops dots and spaces at the end of a name ("noext." is "noext").
std::string_view TrimmedName(std::string_view name) {
    if (name == "." || name == "..") return name;
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    return name;
}

std::string WithoutTrailingDots(std::string_view name) {
    return std::string(TrimmedName(name));
}

bool Exists(const std::string& native) {
    struct stat st {};
    return lstat(native.c_str(), &st) == 0;
}

bool IsFolder(const std::string& native) {
    struct stat st {};
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Slashed(std::string_view path) {
    std::string slashed(path);
    for (char& c : slashed) {
        if (c == '\\') c = '/';
    }
    return slashed;
}

// The length of the longest leading part of `path` that ends in a separator and names an
// existing folder as written ("\" read as "/"); 0 when none does. A NUL ends the search.
// That part is the caller's own folder (the program's folder, or one its command line
// named), which may hold any name Linux allows: the Windows rules of this file (refused
// characters, trailing dots and spaces dropped, letter case ignored) apply to the names
// after it only.
std::size_t OwnFolderLength(std::string_view path) {
    const std::string slashed = Slashed(path.substr(0, path.find('\0')));
    std::size_t cut = slashed.rfind('/');
    while (cut != std::string::npos) {
        if (IsFolder(slashed.substr(0, cut + 1))) return cut + 1;
        if (cut == 0) break;
        cut = slashed.rfind('/', cut - 1);
    }
    return 0;
}

// A NUL anywhere (it would cut the path short), or a character Windows refuses in a name
// after the caller's own folder.
// A path without any such character anywhere needs no look at its folders: that is nearly
// every path, and the look costs a status call per folder.
bool HasRefusedName(std::string_view path, bool wildcardsAllowed) {
    if (!HasRefusedNameCharacter(path, wildcardsAllowed)) return false;
    return path.find('\0') != std::string_view::npos ||
           HasRefusedNameCharacter(path.substr(OwnFolderLength(path)), wildcardsAllowed);
}

// The caller's own folder (its first `own` characters) as written, then every "\" turned
// into "/" and every name losing its trailing dots and spaces.
std::string NativePathAfter(std::string_view path, std::size_t own) {
    std::string native = Slashed(path.substr(0, own));
    native.reserve(path.size());
    std::size_t start = own;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = path.size();
        native += TrimmedName(path.substr(start, end - start));
        if (end < path.size()) native += '/';
        start = end + 1;
    }
    return native;
}

// True when no name of `path` loses a trailing dot or space. Its native form is then the
// same whichever leading folder is the caller's own, and the folders need not be looked at.
bool KeepsEveryName(std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view name = path.substr(start, end - start);
        if (TrimmedName(name).size() != name.size()) return false;
        start = end + 1;
    }
    return true;
}

std::string NativePath(std::string_view path) {
    if (KeepsEveryName(path)) return Slashed(path);
    return NativePathAfter(path, OwnFolderLength(path));
}

// A file's path: no refused name, and a name after the last separator (Windows refuses
// "item\" for a file as a bad name).
bool IsBadFilePath(std::string_view path) {
    return HasRefusedName(path, false) || path.empty() || path.ends_with('\\') ||
           path.ends_with('/');
}

// The name in `folder` that equals `name` when letter case is ignored, or "". When the
// folder cannot be read, `error` (if given) gets the errno of that failure.
std::string FindNameIgnoringCase(const std::string& folder, const std::string& name,
                                 int* error = nullptr) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        if (error != nullptr) *error = errno;
        return {};
    }
    std::string found;
    while (dirent* e = readdir(dir)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

// The path with every component after the caller's own folder spelled as on disk;
// components that do not exist (yet) are kept as given.
std::string Resolve(std::string_view path) {
    std::string native = NativePath(path);
    if (Exists(native)) return native;
    const std::size_t own = OwnFolderLength(path);
    std::string resolved = own > 0 ? native.substr(0, own) : native.starts_with('/') ? "/" : "";
    std::size_t pos = resolved.size();
    while (pos <= native.size()) {
        std::size_t end = native.find('/', pos);
        if (end == std::string::npos) end = native.size();
        const std::string part = native.substr(pos, end - pos);
        const bool last = end == native.size();
        if (!part.empty()) {
            std::string actual = part;
            if (part != "." && part != ".." && !Exists(resolved + part)) {
                actual = FindNameIgnoringCase(resolved, part);
                if (actual.empty()) return resolved + native.substr(pos);
            }
            resolved += actual;
            if (!last) resolved += '/';
        }
        pos = end + 1;
    }
    return resolved;
}

// A look that failed for another reason than the name not being there (0: none failed).
bool CouldNotLook(int error) {
    return error != 0 && error != ENOENT && error != ENOTDIR && error != ENAMETOOLONG;
}

std::string ParentOf(const std::string& native) {
    const std::size_t slash = native.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

int ErrorFromErrno(int error, const std::string& native) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return IsFolder(ParentOf(native)) ? errors::kFileNotFound : errors::kPathNotFound;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return errors::kDiskFull;
        case ENAMETOOLONG:
        case EINVAL:
        case EILSEQ:
            return errors::kBadFileNameOrNumber;
        case EBUSY:
        case ETXTBSY:
            return errors::kPermissionDenied;
        case EMFILE:
        case ENFILE:
            return errors::kTooManyFiles;
        case EIO:
            return errors::kDeviceIoError;
        default:  // EACCES, EPERM, EROFS, EISDIR, EEXIST, ENOTEMPTY and the rest
            return errors::kPathFileAccessError;
    }
}

int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// Opens, writes and closes; 0 or a run-time error number.
int WriteWith(std::string_view path, std::string_view contents, int flags) {
    if (IsBadFilePath(path)) return errors::kBadFileNameOrNumber;
    const std::string native = Resolve(path);
    const int fd = open(native.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return ErrorFromErrno(errno, native);
    const int error = WriteAll(fd, contents);
    const int closed = close(fd) == 0 ? 0 : errno;
    if (error != 0) return ErrorFromErrno(error, native);
    return closed == 0 ? 0 : ErrorFromErrno(closed, native);
}

std::uint32_t AttributesOf(const std::string& folder, const dirent* e) {
    std::uint32_t attributes = 0;
    bool directory = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) directory = IsFolder(folder + e->d_name);
    attributes |= directory ? kAttrDirectory : kAttrArchive;
    const std::string_view name(e->d_name);
    if (name.starts_with('.') && name != "." && name != "..") attributes |= kAttrHidden;
    return attributes;
}

// In the data folder's hidden folder when the file lies below it, else beside the file.
std::string TemporaryPathFor(std::string_view path, const std::string& native) {
    const std::uint32_t count = NextTemporaryCount();
    const std::string dataFolder = TemporaryDataFolderOf(path);
    if (!dataFolder.empty()) {
        return Slashed(dataFolder) + "/" + std::string(kTemporaryFolderName) + "/" +
               TemporaryName(StartIdentity(), count);
    }
    return ParentOf(native) + "/" + std::string(kTemporaryFilePrefix) + StartIdentity() + "-" +
           std::to_string(count);
}

}  // namespace

struct DirectorySearch::State {
    std::string folder;       // native, with a trailing "/" unless empty
    std::string namePattern;  // the last component, wildcards and all
    DIR* dir = nullptr;
    bool exactPending = false;  // a pattern without wildcards: one lookup, no listing
    std::string folderAsGiven;  // for an exact lookup, whose folder is resolved only on a miss
    int error = 0;
};

namespace {

std::string FolderOf(std::string_view folderPart, bool resolve) {
    std::string folder =
        folderPart.empty() ? "" : (resolve ? Resolve(folderPart) : NativePath(folderPart));
    if (!folder.empty() && !folder.ends_with('/')) folder += '/';
    return folder;
}

}  // namespace

DirectorySearch::DirectorySearch(std::string_view pattern) : state_(std::make_unique<State>()) {
    if (pattern.find('\0') != std::string_view::npos) return;
    const std::size_t cut = pattern.find_last_of("\\/");
    const std::string_view folderPart =
        cut == std::string_view::npos ? std::string_view{} : pattern.substr(0, cut + 1);
    state_->namePattern = std::string(pattern.substr(cut == std::string_view::npos ? 0 : cut + 1));
    if (state_->namePattern.empty() || HasRefusedName(folderPart, false) ||
        HasRefusedNameCharacter(state_->namePattern, true)) {
        return;
    }
    if (HasWildcard(state_->namePattern)) {
        state_->folder = FolderOf(folderPart, true);
        state_->dir = opendir(state_->folder.empty() ? "." : state_->folder.c_str());
        if (state_->dir == nullptr && CouldNotLook(errno)) {
            state_->error = ErrorFromErrno(errno, state_->folder);
        }
    } else {
        state_->folder = FolderOf(folderPart, false);
        state_->folderAsGiven = std::string(folderPart);
        state_->exactPending = true;
    }
}

DirectorySearch::~DirectorySearch() {
    if (state_->dir != nullptr) closedir(state_->dir);
}

bool DirectorySearch::Next(FileEntry& entry) {
    if (state_->exactPending) {
        state_->exactPending = false;
        std::string name = WithoutTrailingDots(state_->namePattern);
        // One look at the entry answers both questions, unless it is a link to follow. The
        // path as given is tried first: only a miss needs the search for letter case.
        struct stat st {};
        bool found = lstat((state_->folder + name).c_str(), &st) == 0;
        if (!found) {
            state_->folder = FolderOf(state_->folderAsGiven, true);
            found = lstat((state_->folder + name).c_str(), &st) == 0;
        }
        if (!found && CouldNotLook(errno)) return Failed(errno);
        if (!found) {
            int error = 0;
            name = FindNameIgnoringCase(state_->folder, name, &error);
            if (name.empty()) return CouldNotLook(error) ? Failed(error) : false;
            found = lstat((state_->folder + name).c_str(), &st) == 0;
        }
        const bool folder = found && S_ISLNK(st.st_mode) ? IsFolder(state_->folder + name)
                                                         : found && S_ISDIR(st.st_mode);
        entry.name = name;
        entry.attributes = folder ? kAttrDirectory : kAttrArchive;
        if (name.starts_with('.') && name != "." && name != "..") entry.attributes |= kAttrHidden;
        return true;
    }
    if (state_->dir == nullptr) return false;
    errno = 0;
    while (const dirent* e = readdir(state_->dir)) {
        if (!MatchesWildcard(e->d_name, state_->namePattern)) continue;
        entry.name = e->d_name;
        entry.attributes = AttributesOf(state_->folder, e);
        return true;
    }
    if (errno != 0) return Failed(errno);
    return false;
}

int DirectorySearch::Error() const {
    return state_->error;
}

bool DirectorySearch::Failed(int error) {
    state_->error = ErrorFromErrno(error, state_->folder);
    return false;
}

namespace {

// The length of an open file to read; a folder is 75, and its descriptor is closed.
int ReadableSize(int fd, std::uint64_t& size) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return errors::kPathFileAccessError;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

}  // namespace

int ReadableFile::Open(std::string_view path) {
    Close();
    if (IsBadFilePath(path)) return errors::kBadFileNameOrNumber;
    // The name as given is tried first: only a miss needs the search for its letter case.
    std::string native = NativePath(path);
    int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        native = Resolve(path);
        fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) return ErrorFromErrno(errno, native);
    if (const int error = ReadableSize(fd, size_)) return error;
    handle_ = fd;
    return 0;
}

void ReadableFile::Close() {
    if (handle_ != kNoFile) close(static_cast<int>(handle_));
    handle_ = kNoFile;
    size_ = 0;
}

int ReadableFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t length,
                         std::size_t& got) const {
    got = 0;
    for (;;) {
        const ssize_t n =
            pread(static_cast<int>(handle_), buffer, length, static_cast<off_t>(offset));
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR) return ErrorFromErrno(errno, {});
    }
}

// Straight into the string, sized by the file's length and one byte more, where the end
// of the file shows without growing the string; a file that grows meanwhile grows it.
// Bounded: every round reads something or ends. The file closes on every way out.
int ReadWholeFile(std::string_view path, std::string& contents) {
    ReadableFile file;
    if (const int error = file.Open(path)) return error;
    const int fd = static_cast<int>(file.Handle());
    std::size_t used = 0;
    try {
        contents.resize(static_cast<std::size_t>(file.Size()) + 1);
        for (;;) {
            if (used == contents.size()) contents.resize(used + 65536);
            const ssize_t n = read(fd, contents.data() + used, contents.size() - used);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                const int error = errno;
                contents.clear();
                return ErrorFromErrno(error, {});
            }
            used += static_cast<std::size_t>(n);
        }
    } catch (const std::exception&) {  // bad_alloc, or beyond what a string holds
        contents.clear();
        return errors::kOutOfMemory;
    }
    contents.resize(used);
    return 0;
}

int WriteWholeFile(std::string_view path, std::string_view contents) {
    return WriteWith(path, contents, O_TRUNC);
}

int AppendToFile(std::string_view path, std::string_view contents) {
    return WriteWith(path, contents, O_APPEND);
}

int FileReplacement::Begin(std::string_view path) {
    Discard();
    error_ = 0;
    target_ = std::string(path);
    if (IsBadFilePath(path)) return Fail(errors::kBadFileNameOrNumber);
    const std::string native = Resolve(path);
    std::string temporary = TemporaryPathFor(path, native);
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(ErrorFromErrno(errno, native));
    handle_ = fd;
    temporary_ = std::move(temporary);
    return 0;
}

int FileReplacement::Write(std::string_view bytes) {
    if (error_ != 0) return error_;
    if (const int error = WriteAll(static_cast<int>(handle_), bytes)) {
        return Fail(ErrorFromErrno(error, temporary_));
    }
    return 0;
}

// The target is looked up again: its letter case may have changed since Begin.
int FileReplacement::Commit() {
    if (error_ != 0) return error_;
    const std::string native = Resolve(target_);
    const int fd = static_cast<int>(std::exchange(handle_, kNoFile));
    int error = fsync(fd) == 0 ? 0 : errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary_.c_str(), native.c_str()) != 0) error = errno;
    if (error != 0) return Fail(ErrorFromErrno(error, native));
    temporary_.clear();
    return 0;
}

void FileReplacement::Discard() {
    if (handle_ != kNoFile) close(static_cast<int>(std::exchange(handle_, kNoFile)));
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

int RemoveFile(std::string_view path) {
    if (IsBadFilePath(path)) return errors::kBadFileNameOrNumber;
    const std::string native = Resolve(path);
    return unlink(native.c_str()) == 0 ? 0 : ErrorFromErrno(errno, native);
}

int MakeFolder(std::string_view path) {
    if (HasRefusedName(path, false)) return errors::kBadFileNameOrNumber;
    const std::string native = Resolve(path);
    return mkdir(native.c_str(), 0777) == 0 ? 0 : ErrorFromErrno(errno, native);
}

int RemoveFolder(std::string_view path) {
    if (HasRefusedName(path, false)) return errors::kBadFileNameOrNumber;
    const std::string native = Resolve(path);
    if (!IsFolder(native) && Exists(native)) return errors::kPathFileAccessError;
    return rmdir(native.c_str()) == 0 ? 0 : ErrorFromErrno(errno, native);
}

namespace {

std::string RealPath(const std::string& native) {
    char* real = realpath(native.c_str(), nullptr);
    if (real == nullptr) return {};
    std::string path(real);
    free(real);
    return path;
}

// The folder of the last look beneath one, kept open for the next: the data folder, asked
// about on every request. A look at its name (one call, as an open would be) tells
// whether it is still the folder that is held, so that one put in its place is used.
class HeldFolder {
  public:
    HeldFolder() = default;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder() { Drop(); }

    int Descriptor(const std::string& path) {
        struct stat named {};
        if (stat(path.c_str(), &named) != 0 || !S_ISDIR(named.st_mode)) return -1;
        if (fd_ >= 0 && path == path_ && named.st_dev == dev_ && named.st_ino == ino_) return fd_;
        Drop();
        const int fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat opened {};
        if (fd < 0 || fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev ||
            opened.st_ino != named.st_ino) {
            if (fd >= 0) close(fd);
            return -1;  // replaced meanwhile: the walk answers this time
        }
        fd_ = fd;
        path_ = path;
        dev_ = named.st_dev;
        ino_ = named.st_ino;
        return fd_;
    }

  private:
    void Drop() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
    std::string path_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
};

// The kernel's own answer where it has openat2: `relative` resolves beneath the root, and
// is opened with `flags`. Any failure (an older kernel, an absolute link that may still
// lead inside, a name missing on the way) leaves the question to the walk: -1.
int OpenBeneathRoot(const std::string& root, const std::string& relative, int flags) {
#ifdef SYS_openat2
    thread_local HeldFolder held;
    const int rootFd = held.Descriptor(root);
    if (rootFd < 0) return -1;
    open_how how{};
    how.flags = static_cast<unsigned>(flags | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH;
    const long fd = syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how);
    return fd < 0 ? -1 : static_cast<int>(fd);
#else
    (void)root;
    (void)relative;
    (void)flags;
    return -1;
#endif
}

bool OpensBeneath(const std::string& root, const std::string& relative) {
    const int fd = OpenBeneathRoot(root, relative, O_PATH);
    if (fd < 0) return false;
    close(fd);
    return true;
}

std::string OwnFolder(std::string_view folder) {
    std::string own = Slashed(folder);
    while (own.size() > 1 && own.ends_with('/')) own.pop_back();
    return own;
}

// The part of `given` below the folder `own`, empty when it is not below it.
std::string BelowFolder(const std::string& own, const std::string& given) {
    if (given.size() <= own.size() + 1 || !given.starts_with(own) || given[own.size()] != '/') {
        return {};
    }
    return given.substr(own.size() + 1);
}

PathLook LookBelow(const std::string& root, const std::string& below) {
    const std::string path = root + "/" + below;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return {};
    if (!S_ISLNK(st.st_mode)) return {true, false, {}};
    std::string target(PATH_MAX, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return {};
    target.resize(static_cast<std::size_t>(n));
    return {true, true, target};
}

}  // namespace

// The name as given usually exists as it is: then one call both checks and opens it.
bool ReadableFile::OpenBeneath(std::string_view folder, std::string_view path) {
    Close();
    if (IsBadFilePath(path)) return false;
    const std::string own = OwnFolder(folder);
    const std::string below = BelowFolder(own, NativePath(path));
    if (below.empty()) return false;
    const int fd = OpenBeneathRoot(own, below, O_RDONLY);
    if (fd < 0 || ReadableSize(fd, size_) != 0) return false;
    handle_ = fd;
    return true;
}

bool LeavesFolder(std::string_view folder, std::string_view path) {
    const std::string own = OwnFolder(folder);
    // The name as given, which usually exists as it is, needs no look before the open.
    const std::string given = NativePath(path);
    const std::string givenBelow = BelowFolder(own, given);
    if (!givenBelow.empty() && OpensBeneath(own, givenBelow)) return false;
    const std::string native = Resolve(path);
    const bool inside =
        native.starts_with(own) && (native.size() == own.size() || native[own.size()] == '/');
    const std::string relative =
        inside && native.size() > own.size() ? native.substr(own.size() + 1) : "";
    // The usual answer first, from the folder as named: opening it leads where its real
    // path does, and the real path (a call per component of it) is needed only for the walk.
    // The name as given was asked already.
    if (inside && (relative.empty() || (native != given && OpensBeneath(own, relative)))) {
        return false;
    }
    const std::string root = RealPath(own);
    if (root.empty()) return false;  // no folder: nothing below it can be reached
    if (!inside) return true;
    const auto look = [&root](const std::string& below) { return LookBelow(root, below); };
    return !WalkBeneath(root, relative, look).has_value();
}

int MakeOwnFolder(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return errors::kBadFileNameOrNumber;
    const std::string native = Slashed(path);
    return mkdir(native.c_str(), 0777) == 0 ? 0 : ErrorFromErrno(errno, native);
}

int CreateEmptyFile(std::string_view path) {
    return WriteWith(path, {}, O_TRUNC);
}

}  // namespace pelorin::platform
