#include "server/store/DBClient.h"

#include <string_view>

#include "diagnostics/Hooks.h"
#include "diagnostics/SharedValues.h"
#include "server/store/StoreCommand.h"

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
    if (myClient) myClient->SetEvents(this);
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
}

// A connection let go no longer reports here: it may outlive this handler while it
// finishes raising an event.
void DBClient::ReleaseClient() {
    if (myClient) myClient->SetEvents(nullptr);
    myClient.reset();
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
    const StoreRequest request{sender.ClientCommand, sender.ClientPage, sender.ClientPostData};
    RunStoreCommand(request, ProgramFolderPath() + "data", out);
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
    RaiseHandlerFree();
}

void DBClient::Error(WebServerClient&, std::int32_t, const std::string&) {
    cancelled_ = true;
    RaiseHandlerFree();
}

// Last in every caller. The owner only takes note: it keeps the handler and its connection
// (which may be raising the event that got here).
void DBClient::RaiseHandlerFree() {
    if (events_ != nullptr) events_->HandlerFree(*this);
}

}  // namespace pelorin
