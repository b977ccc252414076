#include "server/store/StoreCommand.h"

#include <new>
#include <string>
#include <vector>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "diagnostics/Hooks.h"
#include "platform/Files.h"
#include "server/store/StorePaths.h"

namespace pelorin {
namespace {

using platform::FileEntry;

// The log shows the bytes of files and bodies whenever it keeps lines at all: LOG2 or
// LOG3, or the debug window.
bool ContentsLogged() {
    return WriteLogWanted();
}

// A log line with a file's or a body's bytes. The line is only put together when
// somebody takes it: a GET of a large file should not copy it for nothing. Like every
// log line it never fails the request: a line too large to hold is dropped.
void LogWithBytes(std::string_view prefix, std::string_view bytes) {
    if (!ContentsLogged()) return;
    try {
        std::string line;
        line.reserve(prefix.size() + bytes.size());
        line.append(prefix).append(bytes);
        WriteLog(line);
    } catch (const std::bad_alloc&) {
    }
}

void Check(int error) {
    if (error != 0) throw RuntimeError(error);
}

// The file's bytes for the content log, read from the file about to be sent; a file too
// large to hold gets no line, as with LogWithBytes.
void LogFileContents(const platform::ReadableFile& file) {
    if (!ContentsLogged()) return;
    std::string contents;
    if (file.ReadAll(contents) == 0) LogWithBytes(" Content: ", contents);
}

bool IsSet(std::string_view command) {
    return TrimSpaces(UpperCase(command)) == "SET";
}

// One request run as a store command. Each command's handler answers exactly once; a
// run-time error on the way becomes the error answer instead.
class StoreCommand {
  public:
    StoreCommand(const StoreRequest& request, std::string_view dataFolder, StoreAnswerWriter& out)
        : request_(request),
          name_(StoreNameOf(request.target)),
          dataFolder_(dataFolder),
          path_(std::string(dataFolder) + name_),
          out_(out) {}

    void Run();

  private:
    void Get();
    void Set();
    void New();
    void Del();
    void Dir();
    void List();
    void NotImplemented();
    void ErrorAnswer(const RuntimeError& error);

    // Logs the command and the target, then refuses a name the command may not use.
    void Begin(std::string_view upperCommand, bool patternsAllowed);
    void BeginWithoutLook(std::string_view upperCommand, bool patternsAllowed);
    void RefuseWayOut() const;
    bool OpenOtherwise(platform::ReadableFile& file) const;
    void Answer(int status, std::string_view reason, std::string_view logLine);
    bool NamesFolder() const { return path_.ends_with('\\'); }
    // A folder cannot be read or written as a file. Said here, with one number, because
    // the file systems disagree on how to refuse it.
    void RefuseFolderAsFile() const {
        if (NamesFolder()) throw RuntimeError(errors::kPathFileAccessError);
    }
    std::string WithoutLastSeparator() const { return path_.substr(0, path_.size() - 1); }

    const StoreRequest& request_;
    std::string name_;  // below the data folder, starting with "\"
    std::string_view dataFolder_;
    std::string path_;
    StoreAnswerWriter& out_;
};

void StoreCommand::Run() {
    const std::string command(TrimSpaces(UpperCase(request_.command)));
    try {
        if (command == "GET") return Get();
        if (command == "SET") return Set();
        if (command == "NEW") return New();
        if (command == "DEL") return Del();
        if (command == "DIR") return Dir();
        NotImplemented();
    } catch (const RuntimeError& error) {
        ErrorAnswer(error);
    } catch (const std::bad_alloc&) {  // a body or a line too large to hold
        ErrorAnswer(RuntimeError(errors::kOutOfMemory));
    }
}

void StoreCommand::Begin(std::string_view upperCommand, bool patternsAllowed) {
    BeginWithoutLook(upperCommand, patternsAllowed);
    RefuseWayOut();
}

// The log line and the name's own rules, before anything on disk is looked at.
void StoreCommand::BeginWithoutLook(std::string_view upperCommand, bool patternsAllowed) {
    WriteLog([&] { return std::string(upperCommand) + " " + std::string(request_.target); });
    Check(RefusedNameError(name_, patternsAllowed));
}

// No item lies outside the data folder, whatever links lie inside it.
void StoreCommand::RefuseWayOut() const {
    if (platform::LeavesFolder(dataFolder_, path_)) {
        throw RuntimeError(errors::kBadFileNameOrNumber);
    }
}

void StoreCommand::Answer(int status, std::string_view reason, std::string_view logLine) {
    out_.SendStatus(status, reason);
    WriteLog(logLine);
}

void StoreCommand::Get() {
    BeginWithoutLook("GET", false);
    // Sent from the open file: a SET replacing it meanwhile does not change what this
    // answer sends. The open comes first, since a file that opens beneath the data folder
    // is the usual case and needs no look of its own; only a failed one asks what is
    // there, in the order of the other commands, so that a way out of the folder, a
    // missing item or a folder is answered as before.
    platform::ReadableFile file;
    if (NamesFolder() || !file.OpenBeneath(dataFolder_, path_)) {
        RefuseWayOut();
        if (!OpenOtherwise(file)) return Answer(404, "Not Found", " Error: not found");
    }
    LogFileContents(file);
    out_.SendStatus(200, "OK");
    out_.SendBodyFile(std::move(file));
}

// False when there is no such file; a folder or a file that cannot be read is an error.
bool StoreCommand::OpenOtherwise(platform::ReadableFile& file) const {
    const int opened = NamesFolder() ? errors::kPathFileAccessError : file.Open(path_);
    if (opened == 0) return true;
    if (!PlainFileExists(path_)) return false;
    RefuseFolderAsFile();
    Check(opened);
    return true;
}

// The new content replaces the old at once: a failure leaves the old file whole. A body
// that was written as it arrived is put in place now, or its failure answered.
void StoreCommand::Set() {
    Begin("SET", false);
    LogWithBytes(" Content: ", request_.body);
    if (!PlainFileExists(path_)) return Answer(404, "Not Found", " Error: file not found");
    RefuseFolderAsFile();
    Check(request_.upload != nullptr ? request_.upload->Commit()
                                     : platform::ReplaceFileAtomically(path_, request_.body));
    Answer(200, "OK", " file set");
}

void StoreCommand::New() {
    Begin("NEW", false);
    if (NamesFolder()) {
        const std::string folder = WithoutLastSeparator();
        if (EntryExists(folder)) return Answer(409, "Conflict", " Error: dir still exists");
        Check(platform::MakeFolder(folder));
        return Answer(201, "Created", " dir created");
    }
    if (PlainFileExists(path_)) return Answer(409, "Conflict", " Error: file still exists");
    Check(platform::CreateEmptyFile(path_));
    Answer(201, "Created", " file created");
}

void StoreCommand::Del() {
    Begin("DEL", false);
    if (NamesFolder()) {
        // The data folder holds the store: without it every later command would fail
        // until the program starts again. Refused as removing a folder that holds
        // entries is.
        if (NamesDataFolder(name_)) throw RuntimeError(errors::kPathFileAccessError);
        const std::string folder = WithoutLastSeparator();
        if (!EntryExists(folder)) return Answer(404, "Not Found", " Error: file not found");
        Check(platform::RemoveFolder(folder));
        return Answer(200, "OK", " dir deleted");
    }
    if (!PlainFileExists(path_)) return Answer(404, "Not Found", " Error: file not found");
    Check(platform::RemoveFile(path_));
    Answer(200, "OK", " file deleted");
}

void StoreCommand::Dir() {
    Begin("DIR", true);
    if (NamesFolder()) {
        if (!FolderExists(path_)) return Answer(404, "Not Found", " Error: dir not found");
        return List();
    }
    // A folder of that name does not count: only plain files are "found".
    if (PlainFileExists(path_)) return Answer(200, "Found", " file found");
    Answer(404, "Not Found", " file not found");
}

// One line per entry in the file system's order, folders marked with "\"; names that
// begin with "." (the folder's own entries, hidden files) never show. The listing is read
// whole before the answer, so that a search failing halfway answers its error instead of
// a short listing.
void StoreCommand::List() {
    platform::DirectorySearch search(path_ + "*.*");
    std::vector<FileEntry> entries;
    FileEntry found;
    while (search.Next(found)) {
        if (!found.name.starts_with('.')) entries.push_back(std::move(found));
    }
    Check(search.Error());
    out_.SendStatus(200, "OK");
    for (const FileEntry& entry : entries) {
        if (entry.attributes & platform::kAttrDirectory) {
            out_.SendBody(entry.name + "\\\r\n");
            WriteLog([&] { return " new dir: " + entry.name; });
        } else {
            out_.SendBody(entry.name + "\r\n");
            WriteLog([&] { return " new file: " + entry.name; });
        }
    }
}

void StoreCommand::NotImplemented() {
    out_.SendStatus(501, "Not Implemented");
    WriteLog([&] { return std::string(request_.command) + " " + std::string(request_.target); });
    WriteLog(" Error: bad command");
}

void StoreCommand::ErrorAnswer(const RuntimeError& error) {
    const std::string number = std::to_string(error.number());
    out_.SendStatus(400, "Bad Request");
    out_.SendBody("Fehler " + number + ": ");
    out_.SendBody(error.what());
    WriteLog([&] { return std::string(request_.command) + " " + std::string(request_.target); });
    WriteLog([&] { return " Error " + number + ": " + error.what(); });
}

}  // namespace

void StoreAnswerWriter::SendBodyFile(platform::ReadableFile file) {
    std::string contents;
    Check(file.ReadAll(contents));
    SendBody(std::move(contents));
}

bool BodyLogged(std::string_view command) {
    return IsSet(command) && ContentsLogged();
}

bool BeginUpload(const StoreRequest& request, std::string_view dataFolder,
                 platform::FileReplacement& upload) {
    if (!IsSet(request.command)) return false;
    const std::string name = StoreNameOf(request.target);
    if (RefusedNameError(name, false) != 0 || name.ends_with('\\')) return false;
    const std::string path = std::string(dataFolder) + name;
    if (platform::LeavesFolder(dataFolder, path)) return false;
    upload.Begin(path);
    return true;
}

void RunStoreCommand(const StoreRequest& request, std::string_view dataFolder,
                     StoreAnswerWriter& out) {
    StoreCommand(request, dataFolder, out).Run();
}

}  // namespace pelorin
