#include "server/store/DBClient.h"

#include <string_view>

#include "diagnostics/Hooks.h"
#include "server/store/StoreCommand.h"
#include "settings/ProgramSettings.h"

namespace pelorin {
namespace {

// Every answer of the store: HTTP/1.0, plain text, no Content-Length (the connection's
// end marks the body's end), the default server name, no extra headers.
class ConnectionAnswerWriter : public StoreAnswerWriter {
  public:
    explicit ConnectionAnswerWriter(WebServerClient& client) : client_(client) {}

    void SendStatus(int status, std::string_view reason) override {
        client_.SendAnswer("HTTP/1.0", status, reason, "text/plain", 0, "", nullptr);
    }
    void SendBody(std::string piece) override { client_.SendData(std::move(piece)); }
    void SendBodyFile(platform::ReadableFile file) override { client_.SendFile(std::move(file)); }

  private:
    WebServerClient& client_;
};

}  // namespace

std::shared_ptr<DBClient> DBClient::Create() {
    return std::shared_ptr<DBClient>(new DBClient());
}

DBClient::~DBClient() {
    ReleaseClient();
}

void DBClient::SetClient(std::shared_ptr<WebServerClient> TheClient) {
    if (myClient) {
        myClient->Cancel();
        ReleaseClient();
    }
    myClient = std::move(TheClient);
    if (myClient) {
        myClient->SetEvents(this);
        myClient->StreamBody(true);
    }
    answered_ = false;
    cancelled_ = false;
}

bool DBClient::IsClientNothing() {
    if (cancelled_ && myClient) {
        myClient->Cancel();
        ReleaseClient();
    }
    return !myClient;
}

void DBClient::Cancel() {
    if (myClient) myClient->Cancel();
    DropBody();
}

// A connection let go no longer reports here: it may outlive this handler while it
// finishes raising an event. Whatever of its body arrived goes with it.
void DBClient::ReleaseClient() {
    if (myClient) myClient->SetEvents(nullptr);
    myClient.reset();
    DropBody();
}

void DBClient::BeginBody(const WebServerClient& client) {
    bodyBegun_ = true;
    const StoreRequest request{client.ClientCommand, client.ClientPage, {}};
    uploading_ = BeginUpload(request, DataFolder(), upload_);
    holdBody_ = BodyLogged(client.ClientCommand);
}

// The body's temporary file is removed; the file keeps its content.
void DBClient::DropBody() {
    upload_.Discard();
    uploading_ = false;
    heldBody_.clear();
    heldBody_.shrink_to_fit();
    holdBody_ = false;
    bodyBegun_ = false;
}

// The connection only asks for the body of a peer it serves.
void DBClient::BodyArrival(WebServerClient& sender, std::string_view piece) {
    if (!bodyBegun_) BeginBody(sender);
    // A failed write is kept by the replacement and answered once the body is complete.
    if (uploading_) upload_.Write(piece);
    if (holdBody_) heldBody_.append(piece);
}

void DBClient::ReadyForData(WebServerClient& sender) {
    ConnectionAnswerWriter out(sender);
    // Only programs on this machine's own address are served; others learn nothing
    // about the store, not even whether the command exists.
    const std::string peer = sender.GetClientIP();
    if (peer != kLocalPeer) {
        WriteLog([&] { return "Request by " + peer; });
        out.SendStatus(403, "Forbidden");
        answered_ = true;
        WriteLog(" Error: forbidden");
        return;
    }
    if (!bodyBegun_) BeginBody(sender);  // a request without body
    const StoreRequest request{sender.ClientCommand, sender.ClientPage, heldBody_, &upload_};
    RunStoreCommand(request, DataFolder(), out);
    DropBody();
    answered_ = true;
}

void DBClient::SendComplete(WebServerClient&) {
    if (!answered_ || !myClient) return;
    myClient->Cancel();
    ReleaseClient();
    RaiseHandlerFree();
}

void DBClient::ClientCancelled(WebServerClient&) {
    cancelled_ = true;
    DropBody();
    RaiseHandlerFree();
}

void DBClient::Error(WebServerClient&, std::int32_t, const std::string&) {
    cancelled_ = true;
    DropBody();
    RaiseHandlerFree();
}

// Last in every caller. The owner only takes note: it keeps the handler and its connection
// (which may be raising the event that got here).
void DBClient::RaiseHandlerFree() {
    if (events_ != nullptr) events_->HandlerFree(*this);
}

}  // namespace pelorin
