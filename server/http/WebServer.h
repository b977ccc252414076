// The HTTP listener: it owns the connection server, listens on a port and, for every
// accepted connection, makes one request connection and hands it to its owner through
// NewClient. The owner keeps the connections; the listener only watches them, without
// keeping them alive, for their time limits (ConnectionTimeLimits.h): one periodic timer
// for all of them, running while there are any.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "diagnostics/ObjectTrace.h"
#include "platform/Types.h"
#include "server/http/CSocket_Server.h"
#include "server/http/WebServerClient.h"

namespace pelorin {

class WebServer;

// The owner's side of the listener.
class WebServerEvents {
  public:
    virtual ~WebServerEvents() = default;
    // A connection was accepted; the owner must keep `client` (and set its events) or
    // the connection has nobody to serve it.
    virtual void NewClient(WebServer& sender, const std::shared_ptr<WebServerClient>& client) = 0;
};

class WebServer : public std::enable_shared_from_this<WebServer>, private CSocket_ServerEvents {
  public:
    static std::shared_ptr<WebServer> Create();
    ~WebServer() override;
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // The owner that receives NewClient; nullptr detaches it.
    void SetEvents(WebServerEvents* events) { events_ = events; }

    // Remembers the port and listens on it ("listen to port N" in the log). 0 lets the
    // system pick a free port (GetPortInUse tells which). Throws RuntimeError with the
    // socket error number and text when the port cannot be listened on (in use, out of
    // range, not permitted); the listener then stays closed.
    void Listen(std::int32_t port);
    // The port last given to Listen; 0 before.
    std::int32_t GetPort() const { return port_; }
    // The port the listening socket is bound to now; 0 when not listening.
    std::int32_t GetPortInUse() const;
    // Closes every connection and the listening socket.
    void Disconnect();
    // The same, with the log line "Server_Cancel".
    void Cancel();

  private:
    WebServer();

    void Error(CSocket_Server& sender, std::int32_t index, std::int16_t number,
               const std::string& description) override;
    void NewClient(CSocket_Server& sender, std::int32_t index) override;
    void SendComplete(CSocket_Server&, std::int32_t) override {}
    void DataArrival(CSocket_Server&, std::int32_t, const std::string&) override {}
    void Closed(CSocket_Server& sender, std::int32_t index) override;

    void Watch(const std::shared_ptr<WebServerClient>& client);
    void CheckTimeLimits();
    void StopWatching();
    static void WatchTimerProc(platform::WindowHandle window, platform::MessageId message,
                               std::uintptr_t id, std::uint32_t time);

    ObjectTrace trace_{"WebServer"};
    WebServerEvents* events_ = nullptr;
    std::shared_ptr<CSocket_Server> socket_;
    std::int32_t port_ = 0;
    // The connections handed out that may still be open, and the timer that looks at
    // them (0 while there are none).
    std::vector<std::weak_ptr<WebServerClient>> watched_;
    std::uintptr_t watchTimer_ = 0;
};

}  // namespace pelorin
