#include "client/PelorinClient.h"

#include <mutex>
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

}  // namespace

PelorinClientError::PelorinClientError(int number, const std::string& description)
    : std::runtime_error(description), number_(number) {}

PelorinClientError::~PelorinClientError() = default;

// The status and body of one answer.
struct Answer {
    double status = 0;
    std::string body;
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
    Answer RunCommand(const std::string& path, std::string_view command,
                      const std::string& content) {
        CheckThread();
        if (!myClient) Fail(kCancelled);
        if (waiting_) throw PelorinClientError(kStillRunning, std::string(kStillRunningText));
        const std::shared_ptr<Impl> self = shared_from_this();
        const std::shared_ptr<WebClient> client = myClient;  // Cancel may drop the member
        const WaitingScope waiting(waiting_);
        done_ = false;
        failed_ = false;
        gotStatus_ = false;
        try {
            client->GetPage("http://localhost:" + std::to_string(port_) + "/" + path, command,
                            "HTTP/1.0", "", "", content, "application/x-www-form-urlencoded");
        } catch (const RuntimeError& e) {
            done_ = true;
            throw PelorinClientError(e.number(), e.what());
        }
        DispatchUntil([this] { return done_; });
        if (failed_ || !gotStatus_) Fail(kFailed);
        return Answer{client->answer_Number, std::move(client->Data)};
    }

    // Runs a request and accepts only `success` as its status; returns the body.
    std::string Expect(const std::string& path, std::string_view command, double success,
                       const std::string& content = {}) {
        Answer answer = RunCommand(path, command, content);
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
    bool done_ = true;        // false while a request runs
    bool failed_ = false;     // the running request ended by Error or Cancel
    bool gotStatus_ = false;  // the running request's answer had a status line
    bool waiting_ = false;    // a call waits in RunCommand
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
    return impl_->Expect(FileName, "GET", 200);
}

void PelorinClient::SetFile(const std::string& FileName, const std::string& Content) {
    impl_->Expect(FileName, "SET", 200, Content);
}

}  // namespace pelorin
