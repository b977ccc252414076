// The store request handler: serves the one request of one connection. When the request
// is complete it runs it as a store command on the data folder (StoreCommand.h), answers
// once, and has the connection closed as soon as the answer has been sent. (Peers other
// than 127.0.0.1 never get here: their connection refuses them itself.)
//
// The body is never held whole: a SET's body goes to the replacement of its file as it
// arrives (BeginUpload), any other command's is dropped. Only while the log shows
// contents (BodyLogged, asked when the body begins) is a SET's body kept for its
// " Content: " line as well. A connection that ends before its request is complete (its
// peer left, or it outstayed a time limit), or that the server stops, leaves the old file
// and no temporary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "diagnostics/ObjectTrace.h"
#include "platform/Files.h"
#include "server/http/WebServerClient.h"

namespace pelorin {

class DBClient;

// The owner's side of a handler.
class DBClientEvents {
  public:
    virtual ~DBClientEvents() = default;
    // The handler became free for a new connection (IsClientNothing turned true): its
    // answer was sent, or its connection ended or failed. May come more than once.
    virtual void HandlerFree(DBClient& sender) = 0;
};

class DBClient : public std::enable_shared_from_this<DBClient>, private WebServerClientEvents {
  public:
    static std::shared_ptr<DBClient> Create();
    ~DBClient() override;
    DBClient(const DBClient&) = delete;
    DBClient& operator=(const DBClient&) = delete;

    // Takes over the connection to serve, cancelling one held before; both flags clear.
    void SetClient(std::shared_ptr<WebServerClient> TheClient);
    // True when the handler is free for a new connection. A connection whose peer went
    // away (or failed) is cancelled and let go here first.
    bool IsClientNothing();
    // Closes the connection; the handler keeps it until IsClientNothing or SetClient.
    void Cancel();

    // The owner that receives HandlerFree; nullptr detaches it.
    void SetEvents(DBClientEvents* events) { events_ = events; }
    // The owner's number for this handler; the handler only keeps it.
    std::size_t Slot = 0;

  private:
    DBClient() = default;

    void BodyArrival(WebServerClient& sender, std::string_view piece) override;
    void ReadyForData(WebServerClient& sender) override;
    void SendComplete(WebServerClient& sender) override;
    void ClientCancelled(WebServerClient& sender) override;
    void Error(WebServerClient& sender, std::int32_t number,
               const std::string& description) override;

    void ReleaseClient();
    void RaiseHandlerFree();
    void BeginBody(const WebServerClient& client);
    void DropBody();

    ObjectTrace trace_{"DBClient"};
    DBClientEvents* events_ = nullptr;
    std::shared_ptr<WebServerClient> myClient;
    bool answered_ = false;   // the answer has been handed over: close after it is sent
    bool cancelled_ = false;  // the peer closed or the connection failed
    bool bodyBegun_ = false;
    platform::FileReplacement upload_;  // a SET's body as it arrives
    bool uploading_ = false;            // upload_ was begun (a failure is kept in it)
    std::string heldBody_;              // a SET's body for the content log, when it shows contents
    bool holdBody_ = false;
};

}  // namespace pelorin
