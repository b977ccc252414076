#include "server/http/tests/HttpServerFixture.h"

#include <algorithm>

#include "testing/RecordingHooks.h"
#include "testing/TestLoop.h"

namespace pelorin::testing {

void RequestRecorder::NewClient(WebServer&, const std::shared_ptr<WebServerClient>& client) {
    clients.push_back(client);
    client->SetEvents(this);
}

void RequestRecorder::NewHeader(WebServerClient&, const std::shared_ptr<OneHeader>& header) {
    events.push_back("NewHeader " + header->TheName + "=" + header->TheValue);
}

void RequestRecorder::GetAnswer(WebServerClient&) {
    events.emplace_back("GetAnswer");
}

void RequestRecorder::Error(WebServerClient&, std::int32_t number, const std::string&) {
    events.push_back("Error " + std::to_string(number));
}

void RequestRecorder::ReadyForData(WebServerClient& sender) {
    events.emplace_back("ReadyForData");
    if (onReady) onReady(sender);
}

void RequestRecorder::SendComplete(WebServerClient& sender) {
    events.emplace_back("SendComplete");
    if (onSendComplete) onSendComplete(sender);
}

void RequestRecorder::ClientCancelled(WebServerClient&) {
    events.emplace_back("ClientCancelled");
}

int RequestRecorder::Count(std::string_view event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

void HttpServerTest::SetUp() {
    ResetHooks();
    server = WebServer::Create();
    server->SetEvents(&recorder);
    server->Listen(0);
    port = static_cast<std::uint16_t>(server->GetPortInUse());
    ASSERT_NE(port, 0);
}

void HttpServerTest::TearDown() {
    server->Cancel();
    for (const auto& client : recorder.clients) client->SetEvents(nullptr);
}

std::unique_ptr<TestPeer> HttpServerTest::Connect(std::string_view localAddress) {
    auto peer = std::make_unique<TestPeer>(port, localAddress);
    if (!peer->connected()) return nullptr;
    const std::size_t before = recorder.clients.size();
    EXPECT_TRUE(PumpUntil([&] { return recorder.clients.size() > before; }));
    return peer;
}

void HttpServerTest::AnswerEveryRequest(double status, std::string text, std::string body) {
    recorder.onReady = [=](WebServerClient& client) {
        client.SendAnswer("HTTP/1.0", status, text, "text/plain", 0, "", nullptr);
        client.SendData(body);
    };
    recorder.onSendComplete = [](WebServerClient& client) { client.Cancel(); };
}

std::string StoreAnswerHead(std::string_view statusAndReason) {
    return "HTTP/1.0 " + std::string(statusAndReason) +
           "\r\nServer: Pelorin/0.1\r\nContent-Type: text/plain\r\nConnection: Close\r\n\r\n";
}

}  // namespace pelorin::testing
