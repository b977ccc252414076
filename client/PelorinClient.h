// PelorinClient: the store client. Each store method sends one request to the store server
// on "http://localhost:" + port, waits on the calling thread (dispatching its messages)
// until the server has closed the connection, and judges the answer's status number.
//
// An object belongs to the thread that created it. Texts are byte strings, one char per
// byte, sent and returned unchanged. Every failure is a PelorinClientError:
//   5   the server answered a status other than the method's success status, or the
//       request failed without an answer (server not running, connection refused or
//       closed early, socket error, the object cancelled while the call waited), or a
//       store method or Cancel was called from a thread other than the object's;
//   17  a store method was called on this object while one of its calls still waits;
//   75  a local file of GetFileTo or SetFileFrom could not be read or written, or a
//       caller's source or sink failed (the text says which and why);
//   91  a store method or Cancel was called after Cancel.
//
// GetFile and SetFile hold the whole content in memory. GetFileTo and SetFileFrom move it
// between the store and a local file, or a caller's sink or source, in pieces of at most
// 64 KiB, so that a file of any size takes little memory: they make the same request,
// wait the same way and fail the same way as GetFile and SetFile.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// Only the class and its error are exported from the shared library.
#ifndef PELORIN_CLIENT_API
#define PELORIN_CLIENT_API __attribute__((visibility("default")))
#endif

namespace pelorin {

class PELORIN_CLIENT_API PelorinClientError : public std::runtime_error {
  public:
    PelorinClientError(int number, const std::string& description);
    ~PelorinClientError() override;
    // The run-time error number (5, 17, 91, or one passed on from the transport).
    int number() const noexcept { return number_; }

  private:
    int number_;
};

class PELORIN_CLIENT_API PelorinClient {
  public:
    // The numbers of PelorinClientError.
    static constexpr int kFailed = 5;         // "Invalid procedure call or argument"
    static constexpr int kStillRunning = 17;  // "Can't perform requested operation"
    static constexpr int kCancelled = 91;     // "Object variable or With block variable not set"
    static constexpr int kLocalFile = 75;     // "Path/File access error"

    // Told after each piece: the content's bytes moved so far and its length, or -1 when
    // that is not known (a GET whose answer names no Content-Length).
    using Progress = std::function<void(std::uint64_t done, std::int64_t total)>;
    // Takes the next piece of a GET's content, as it arrives. An exception it throws
    // ends the request, and the call throws it on.
    using PieceSink = std::function<void(std::string_view piece)>;
    // Fills up to `capacity` bytes of `buffer` with the next bytes of a SET's content and
    // answers how many; 0 before the promised length means it failed. An exception it
    // throws ends the request, and the call throws it on.
    using PieceSource = std::function<std::size_t(char* buffer, std::size_t capacity)>;

    // Runs the library start routine for the calling thread; the port is 88.
    PelorinClient();
    // Cancels the transport unless Cancel already did. On a thread other than the
    // creator's nothing can be released: the object's state is then kept for the rest
    // of the process.
    ~PelorinClient();
    PelorinClient(const PelorinClient&) = delete;
    PelorinClient& operator=(const PelorinClient&) = delete;

    // The server's TCP port for later requests; not checked.
    void SetPort(std::int32_t thePort);
    // Stops a running request and releases the transport. Afterwards every store method
    // and a second Cancel fail with error 91; SetPort still works. A call that waits
    // when Cancel runs (from a handler it dispatched) fails with error 5.
    void Cancel();

    void NewFolder(const std::string& FileName);     // NEW FileName/, 201
    void NewFile(const std::string& FileName);       // NEW FileName, 201
    void DeleteFolder(const std::string& FileName);  // DEL FileName/, 200
    void DeleteFile(const std::string& FileName);    // DEL FileName, 200
    // DIR FileName/, 200: the listing with each CR LF replaced by a single CR.
    std::string DirFolder(const std::string& FileName);
    // DIR FileName: 200 gives true, 404 false.
    bool DirFile(const std::string& FileName);
    // GET FileName, 200: the file's bytes.
    std::string GetFile(const std::string& FileName);
    // SET FileName with Content as the body, 200.
    void SetFile(const std::string& FileName, const std::string& Content);

    // GET FileName, 200: the content goes to localPath. It is written to a temporary
    // file beside it ("localPath.part-" and a random number) that is renamed over
    // localPath once the answer is complete and judged; a failure removes it and leaves
    // localPath as it was.
    void GetFileTo(const std::string& FileName, const std::string& localPath,
                   const Progress& progress = {});
    // GET FileName, 200: the content goes to `sink` piece by piece. The body of an answer
    // with another status never reaches it.
    void GetFileTo(const std::string& FileName, const PieceSink& sink,
                   const Progress& progress = {});
    // SET FileName, 200, with the content of the local file localPath, its length as the
    // request's Content-Length.
    void SetFileFrom(const std::string& FileName, const std::string& localPath,
                     const Progress& progress = {});
    // SET FileName, 200, with `length` bytes read from `source`.
    void SetFileFrom(const std::string& FileName, std::uint64_t length, const PieceSource& source,
                     const Progress& progress = {});

    // The status number of the last answer to a store method, 0 when its request got no
    // answer (server not running, connection failed): tells a refusal from a failure.
    double LastStatus() const;

  private:
    class Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace pelorin
