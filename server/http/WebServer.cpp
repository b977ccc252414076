#include "server/http/WebServer.h"

#include <string>

#include "server/http/Winsock.h"

namespace pelorin {

std::shared_ptr<WebServer> WebServer::Create() {
    return std::shared_ptr<WebServer>(new WebServer);
}

WebServer::WebServer() : Socket(CSocket_Server::Create()) {
    Socket->SetEvents(this);
}

WebServer::~WebServer() {
    Socket->SetEvents(nullptr);
}

void WebServer::Listen(std::int32_t port) {
    port_ = port;
    Socket->Listen(port);
}

std::int32_t WebServer::GetPortInUse() const {
    return Socket->GetState(0) == Winsock::sckListening ? Socket->GetPort(0) : 0;
}

void WebServer::Disconnect() {
    Socket->Disconnect(0);
}

void WebServer::Cancel() {
    Socket->Cancel();
}

void WebServer::NewClient(CSocket_Server&, std::int32_t index) {
    const auto keep = shared_from_this();
    const auto client = WebServerClient::Create();
    client->AcceptClient(Socket, index);
    ProzessScope scope("Event WebServer_NewClient");
    ProzessInfo([&] { return "myPort=" + std::to_string(port_); });
    ProzessInfo([&] { return "IP=" + client->GetClientIP(); });
    if (events_ != nullptr) events_->NewClient(*this, client);
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
