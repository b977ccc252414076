#include "server/http/WebServer.h"

#include <string>
#include <unordered_map>

#include "platform/Clock.h"
#include "platform/ThreadState.h"
#include "platform/Timers.h"
#include "server/http/Winsock.h"

namespace pelorin {

namespace {

// The listeners of the thread by the id of their watch timer.
using WatchTimers = std::unordered_map<std::uintptr_t, WebServer*>;

WatchTimers& ThreadWatchTimers() {
    return platform::ThreadState<WatchTimers>();
}

}  // namespace

std::shared_ptr<WebServer> WebServer::Create() {
    return std::shared_ptr<WebServer>(new WebServer);
}

WebServer::WebServer() : socket_(CSocket_Server::Create()) {
    socket_->SetEvents(this);
}

WebServer::~WebServer() {
    StopWatching();
    socket_->SetEvents(nullptr);
}

void WebServer::Listen(std::int32_t port) {
    port_ = port;
    socket_->Listen(port);
}

std::int32_t WebServer::GetPortInUse() const {
    return socket_->GetState(0) == Winsock::sckListening ? socket_->GetPort(0) : 0;
}

void WebServer::Disconnect() {
    socket_->Disconnect(0);
}

void WebServer::Cancel() {
    socket_->Cancel();
}

void WebServer::NewClient(CSocket_Server&, std::int32_t index) {
    const auto keep = shared_from_this();
    const auto client = WebServerClient::Create();
    client->AcceptClient(socket_, index);
    Watch(client);
    ProzessScope scope("Event WebServer_NewClient");
    ProzessInfo([&] { return "myPort=" + std::to_string(port_); });
    ProzessInfo([&] { return "IP=" + client->GetClientIP(); });
    if (events_ != nullptr) events_->NewClient(*this, client);
}

void WebServer::Watch(const std::shared_ptr<WebServerClient>& client) {
    watched_.push_back(client);
    if (watchTimer_ != 0) return;
    const std::uint32_t period = TimeLimitCheckPeriodMs(CurrentConnectionTimeLimits());
    watchTimer_ = platform::SetCallbackTimer(period, &WebServer::WatchTimerProc);
    if (watchTimer_ != 0) ThreadWatchTimers()[watchTimer_] = this;
}

void WebServer::WatchTimerProc(platform::WindowHandle, platform::MessageId, std::uintptr_t id,
                               std::uint32_t) {
    const auto found = ThreadWatchTimers().find(id);
    if (found == ThreadWatchTimers().end()) return;
    const auto keep = found->second->shared_from_this();
    keep->CheckTimeLimits();
}

// Connections that ended, or that a limit closes now, are let go; the timer stops with
// the last of them. A closed connection's owner may do anything in its event but accept
// a new one (that comes from the message loop), so the list is its own meanwhile.
void WebServer::CheckTimeLimits() {
    const ConnectionTimeLimits limits = CurrentConnectionTimeLimits();
    const std::uint32_t now = platform::TickCount();
    std::vector<std::weak_ptr<WebServerClient>> watched;
    watched.swap(watched_);
    std::erase_if(watched, [&](const std::weak_ptr<WebServerClient>& one) {
        const std::shared_ptr<WebServerClient> client = one.lock();
        return !client || !client->IsConnected() || client->CheckTimeLimits(now, limits);
    });
    watched.insert(watched.end(), watched_.begin(), watched_.end());
    watched_.swap(watched);
    if (watched_.empty()) StopWatching();
}

void WebServer::StopWatching() {
    if (watchTimer_ == 0) return;
    platform::KillCallbackTimer(watchTimer_);
    ThreadWatchTimers().erase(watchTimer_);
    watchTimer_ = 0;
}

void WebServer::Closed(CSocket_Server&, std::int32_t index) {
    if (index == 0) WriteLog("Server_Closed");
}

void WebServer::Error(CSocket_Server&, std::int32_t index, std::int16_t number,
                      const std::string& description) {
    if (index != 0) return;
    WriteLog(
        [&] { return "Server_Error(" + std::to_string(number) + ", \"" + description + "\")"; });
}

}  // namespace pelorin
