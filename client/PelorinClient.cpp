#include "client/PelorinClient.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <random>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "client/StartLibrary.h"
#include "diagnostics/ObjectTrace.h"
#include "net/WebClient.h"
#include "platform/MessageQueue.h"

namespace pelorin {
namespace {

constexpr std::string_view kStillRunningText =
    "Can't perform requested operation: a request of this object is still running";
constexpr std::string_view kWrongThreadText =
    "Invalid procedure call: the object belongs to another thread";

[[noreturn]] void Fail(int number) {
    throw PelorinClientError(number, std::string(RuntimeErrorText(number)));
}

// Waits for `done`, dispatching the thread's messages: the socket and timer events of the
// request arrive that way, and so do the caller's own. A quit request seen meanwhile is
// kept and posted again, so the caller's loop still ends.
template <class Done>
void DispatchUntil(const Done& done) {
    bool quit = false;
    int quitCode = 0;
    platform::Msg msg;
    while (!done()) {
        if (!platform::PeekMsg(msg)) {
            platform::WaitMsg();
        } else if (msg.message == platform::kWmQuit) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
        } else {
            platform::DispatchMsg(msg);
        }
    }
    if (quit) platform::PostQuit(quitCode);
}

[[noreturn]] void FailLocal(const std::string& what, const std::string& path,
                            const std::string& reason) {
    throw PelorinClientError(PelorinClient::kLocalFile,
                             std::string(RuntimeErrorText(PelorinClient::kLocalFile)) + ": " +
                                 what + " " + path + ": " + reason);
}
[[noreturn]] void FailLocal(const std::string& what, const std::string& path, int error) {
    FailLocal(what, path, std::strerror(error));
}

// A file opened with the C library, closed when the object goes.
class LocalFile {
  public:
    LocalFile(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
    ~LocalFile() { Close(); }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;
    std::FILE* get() const { return file_; }
    // 0 or the error of the close (a write that the buffer held may fail only here).
    int Close() {
        if (file_ == nullptr) return 0;
        const int result = std::fclose(file_);
        file_ = nullptr;
        return result == 0 ? 0 : (errno != 0 ? errno : EIO);
    }

  private:
    std::FILE* file_;
};

// The temporary file a GET writes before it takes the target's name: beside the target,
// on the same file system, so the rename is atomic; gone unless Keep renamed it.
class PartFile {
  public:
    explicit PartFile(const std::string& target) : target_(target) {
        std::random_device random;
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".part-%08x", static_cast<unsigned>(random()));
        path_ = target + suffix;
        errno = 0;
        file_ = std::make_unique<LocalFile>(path_, "wb");
        if (file_->get() == nullptr) FailLocal("cannot create", path_, errno);
    }
    ~PartFile() {
        if (file_) {
            file_->Close();
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    void Write(std::string_view piece) {
        errno = 0;
        if (std::fwrite(piece.data(), 1, piece.size(), file_->get()) != piece.size())
            FailLocal("cannot write", path_, errno != 0 ? errno : EIO);
    }
    // Closes the file and puts it in the target's place.
    void Keep() {
        errno = 0;
        if (const int error = file_->Close(); error != 0) FailLocal("cannot write", path_, error);
        std::error_code failed;
        std::filesystem::rename(path_, target_, failed);
        if (failed) FailLocal("cannot rename to", target_, failed.message());
        file_.reset();
    }

  private:
    std::string target_;
    std::string path_;
    std::unique_ptr<LocalFile> file_;
};

}  // namespace

PelorinClientError::PelorinClientError(int number, const std::string& description)
    : std::runtime_error(description), number_(number) {}

PelorinClientError::~PelorinClientError() = default;

// The status and body of one answer.
struct Answer {
    double status = 0;
    std::string body;
};

// What a streaming call adds to a request: where a GET's body goes, where a SET's body
// comes from, and whom to tell the progress. A failure of the caller's code is kept and
// thrown on once the wait is over, never through the message loop.
struct Streaming {
    const PelorinClient::PieceSink* sink = nullptr;
    const PelorinClient::PieceSource* source = nullptr;
    const PelorinClient::Progress* progress = nullptr;
    std::uint64_t length = 0;  // of the source
    std::uint64_t done = 0;
    std::int64_t total = -1;
    std::exception_ptr failure;

    // Runs the caller's code; false when it failed.
    template <class Call>
    bool Guarded(const Call& call) {
        try {
            call();
            return true;
        } catch (...) {
            if (!failure) failure = std::current_exception();
            return false;
        }
    }
    bool Moved(std::size_t bytes) {
        done += bytes;
        if (progress == nullptr || !*progress) return true;
        return Guarded([&] { (*progress)(done, total); });
    }
};

class PelorinClient::Impl final : public WebClientEvents,
                                  public std::enable_shared_from_this<Impl> {
  public:
    Impl() {
        StartLibrary();
        myClient = WebClient::Create();
        myClient->SetEvents(this);
        myClient->SetProxy("");
    }
    ~Impl() override {
        if (myClient && OnOwnerThread()) Cancel();
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void SetPort(std::int32_t thePort) { port_ = thePort; }
    bool Cancelled() const { return !myClient; }
    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }

    // The transport's sockets and timers are registered with the thread that created
    // them and can be released only there. An object dropped on another thread (a
    // caller's mistake, which a destructor cannot report) is kept for the rest of the
    // process instead, as its uncancelled sockets would be.
    static void KeepForever(std::shared_ptr<Impl> impl) {
        static std::mutex guard;
        static auto* const kept = new std::vector<std::shared_ptr<Impl>>;
        const std::lock_guard<std::mutex> lock(guard);
        kept->push_back(std::move(impl));
    }

    void Cancel() {
        CheckThread();
        if (!myClient) Fail(kCancelled);
        const std::shared_ptr<WebClient> client = std::move(myClient);
        client->SetEvents(nullptr);
        client->Cancel();
        // A call waiting for this request fails; nothing else will end its wait now.
        failed_ = true;
        done_ = true;
    }

    // Sends one request, waits until it has ended and returns the answer. Fails with
    // the generic failure when the request ended without a status line of its own.
    Answer RunCommand(const std::string& path, std::string_view command, const std::string& content,
                      Streaming* streaming = nullptr) {
        CheckThread();
        if (!myClient) Fail(kCancelled);
        if (waiting_) throw PelorinClientError(kStillRunning, std::string(kStillRunningText));
        const std::shared_ptr<Impl> self = shared_from_this();
        const std::shared_ptr<WebClient> client = myClient;  // Cancel may drop the member
        const WaitingScope waiting(waiting_);
        done_ = false;
        failed_ = false;
        gotStatus_ = false;
        lastStatus_ = 0;
        streaming_ = streaming;
        const StreamingScope streamingScope(streaming_);
        client->KeepBody(streaming == nullptr || streaming->sink == nullptr);
        if (streaming != nullptr && streaming->source != nullptr) {
            streaming->total = static_cast<std::int64_t>(streaming->length);
            client->SetRequestBody(WebClientBody{
                streaming->length, [streaming](char* buffer, std::size_t capacity) {
                    std::size_t got = 0;
                    if (!streaming->Guarded([&] { got = (*streaming->source)(buffer, capacity); }))
                        return std::size_t{0};
                    return streaming->Moved(got) ? got : std::size_t{0};
                }});
        }
        try {
            client->GetPage("http://localhost:" + std::to_string(port_) + "/" + path, command,
                            "HTTP/1.0", "", "", content, "application/x-www-form-urlencoded");
        } catch (const RuntimeError& e) {
            done_ = true;
            throw PelorinClientError(e.number(), e.what());
        }
        DispatchUntil([this] { return done_; });
        if (gotStatus_) lastStatus_ = client->answer_Number;
        if (streaming != nullptr && streaming->failure) std::rethrow_exception(streaming->failure);
        if (failed_ || !gotStatus_) Fail(kFailed);
        return Answer{client->answer_Number, std::move(client->Data)};
    }

    double LastStatus() const { return lastStatus_; }

    // Runs a request and accepts only `success` as its status; returns the body.
    std::string Expect(const std::string& path, std::string_view command, double success,
                       const std::string& content = {}, Streaming* streaming = nullptr) {
        Answer answer = RunCommand(path, command, content, streaming);
        if (answer.status != success) Fail(kFailed);
        return std::move(answer.body);
    }

  private:
    // The transport's sockets and timers report to the thread that created them, so a
    // call from any other thread would wait for events that never reach it.
    void CheckThread() const {
        if (!OnOwnerThread()) {
            throw PelorinClientError(kFailed, std::string(kWrongThreadText));
        }
    }

    // Marks the object busy for as long as a call waits, whichever way the call ends.
    class WaitingScope {
      public:
        explicit WaitingScope(bool& waiting) : waiting_(waiting) { waiting_ = true; }
        ~WaitingScope() { waiting_ = false; }
        WaitingScope(const WaitingScope&) = delete;
        WaitingScope& operator=(const WaitingScope&) = delete;

      private:
        bool& waiting_;
    };

    // Clears the streaming state however the call ends: its pieces belong to the call.
    class StreamingScope {
      public:
        explicit StreamingScope(Streaming*& streaming) : streaming_(streaming) {}
        ~StreamingScope() { streaming_ = nullptr; }
        StreamingScope(const StreamingScope&) = delete;
        StreamingScope& operator=(const StreamingScope&) = delete;

      private:
        Streaming*& streaming_;
    };

    // Only the content of a GET that succeeds goes to the sink.
    bool Sinking(const WebClient& sender) const {
        return streaming_ != nullptr && streaming_->sink != nullptr && gotStatus_ &&
               sender.answer_Number == kGetSuccess;
    }
    void StartOfDataArrival(WebClient& sender) override {
        if (!Sinking(sender)) return;
        const std::string length = sender.answer_Headers->GetHeaderValue("Content-Length");
        if (!length.empty() && length.find_first_not_of("0123456789") == std::string::npos &&
            length.size() < 19) {
            streaming_->total = std::stoll(length);
        }
    }
    void DataArrival(WebClient& sender, std::string& piece) override {
        if (!Sinking(sender)) return;
        Streaming& streaming = *streaming_;
        if (streaming.Guarded([&] { (*streaming.sink)(piece); }) && streaming.Moved(piece.size()))
            return;
        // The caller's sink or progress failed: the request ends here.
        sender.Cancel();
        failed_ = true;
        done_ = true;
    }
    void Closed(WebClient&) override { done_ = true; }
    // Server not running, connection refused or closed before the request was written,
    // or a socket error: the request is over without an answer.
    void Error(WebClient&, std::int32_t, std::string&) override {
        failed_ = true;
        done_ = true;
    }
    // The web client keeps the previous answer's status until a new status line
    // arrives, so an answer without one must not be judged by it.
    void GetAnswer(WebClient&) override { gotStatus_ = true; }

    ObjectTrace trace_{"PelorinClient"};
    const std::thread::id owner_ = std::this_thread::get_id();
    std::shared_ptr<WebClient> myClient;
    std::int32_t port_ = 88;
    bool done_ = true;                // false while a request runs
    bool failed_ = false;             // the running request ended by Error or Cancel
    bool gotStatus_ = false;          // the running request's answer had a status line
    bool waiting_ = false;            // a call waits in RunCommand
    double lastStatus_ = 0;           // of the last call's answer, 0 without one
    Streaming* streaming_ = nullptr;  // the waiting call's, if it streams

  public:
    static constexpr double kGetSuccess = 200;
};

PelorinClient::PelorinClient() : impl_(std::make_shared<Impl>()) {}

// A call of this object may still wait (the object destroyed from a handler it
// dispatched): cancelling ends that wait, and the call keeps the state alive until then.
PelorinClient::~PelorinClient() {
    if (!impl_->OnOwnerThread()) {
        Impl::KeepForever(std::move(impl_));
    } else if (!impl_->Cancelled()) {
        impl_->Cancel();
    }
}

void PelorinClient::SetPort(std::int32_t thePort) {
    impl_->SetPort(thePort);
}

void PelorinClient::Cancel() {
    impl_->Cancel();
}

void PelorinClient::NewFolder(const std::string& FileName) {
    impl_->Expect(FileName + "/", "NEW", 201);
}

void PelorinClient::NewFile(const std::string& FileName) {
    impl_->Expect(FileName, "NEW", 201);
}

void PelorinClient::DeleteFolder(const std::string& FileName) {
    impl_->Expect(FileName + "/", "DEL", 200);
}

void PelorinClient::DeleteFile(const std::string& FileName) {
    impl_->Expect(FileName, "DEL", 200);
}

std::string PelorinClient::DirFolder(const std::string& FileName) {
    return ReplaceAll(impl_->Expect(FileName + "/", "DIR", 200), "\r\n", "\r");
}

bool PelorinClient::DirFile(const std::string& FileName) {
    const Answer answer = impl_->RunCommand(FileName, "DIR", {});
    if (answer.status == 200) return true;
    if (answer.status == 404) return false;
    Fail(kFailed);
}

std::string PelorinClient::GetFile(const std::string& FileName) {
    return impl_->Expect(FileName, "GET", Impl::kGetSuccess);
}

void PelorinClient::SetFile(const std::string& FileName, const std::string& Content) {
    impl_->Expect(FileName, "SET", 200, Content);
}

}  // namespace pelorin

namespace pelorin {

void PelorinClient::GetFileTo(const std::string& FileName, const PieceSink& sink,
                              const Progress& progress) {
    Streaming streaming;
    streaming.sink = &sink;
    streaming.progress = &progress;
    impl_->Expect(FileName, "GET", Impl::kGetSuccess, {}, &streaming);
}

void PelorinClient::GetFileTo(const std::string& FileName, const std::string& localPath,
                              const Progress& progress) {
    PartFile part(localPath);
    GetFileTo(
        FileName, [&part](std::string_view piece) { part.Write(piece); }, progress);
    part.Keep();
}

void PelorinClient::SetFileFrom(const std::string& FileName, std::uint64_t length,
                                const PieceSource& source, const Progress& progress) {
    Streaming streaming;
    streaming.source = &source;
    streaming.progress = &progress;
    streaming.length = length;
    impl_->Expect(FileName, "SET", 200, {}, &streaming);
}

void PelorinClient::SetFileFrom(const std::string& FileName, const std::string& localPath,
                                const Progress& progress) {
    errno = 0;
    LocalFile file(localPath, "rb");
    if (file.get() == nullptr) FailLocal("cannot open", localPath, errno);
    std::error_code failed;
    const std::uintmax_t length = std::filesystem::file_size(localPath, failed);
    if (failed) FailLocal("cannot read", localPath, failed.message());
    SetFileFrom(
        FileName, length,
        [&](char* buffer, std::size_t capacity) {
            errno = 0;
            const std::size_t got = std::fread(buffer, 1, capacity, file.get());
            if (got == 0 && std::ferror(file.get())) {
                FailLocal("cannot read", localPath, errno != 0 ? errno : EIO);
            }
            if (got == 0) FailLocal("cannot read", localPath, "it ended before its length");
            return got;
        },
        progress);
}

double PelorinClient::LastStatus() const {
    return impl_->LastStatus();
}

}  // namespace pelorin
