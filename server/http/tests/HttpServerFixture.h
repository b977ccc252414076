// A listener on a free loopback port with an owner that keeps every request connection
// and records its events, and peers that connect to it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/http/WebServer.h"
#include "testing/TestPeer.h"

namespace pelorin::testing {

// The owner of the listener and of every connection it hands out.
class RequestRecorder : public WebServerEvents, public WebServerClientEvents {
  public:
    void NewClient(WebServer& sender, const std::shared_ptr<WebServerClient>& client) override;
    void NewHeader(WebServerClient& sender, const std::shared_ptr<OneHeader>& header) override;
    void GetAnswer(WebServerClient& sender) override;
    void Error(WebServerClient& sender, std::int32_t number,
               const std::string& description) override;
    void ReadyForData(WebServerClient& sender) override;
    void SendComplete(WebServerClient& sender) override;
    void ClientCancelled(WebServerClient& sender) override;

    int Count(std::string_view event) const;

    std::vector<std::shared_ptr<WebServerClient>> clients;
    std::vector<std::string> events;
    std::function<void(WebServerClient&)> onReady;
    std::function<void(WebServerClient&)> onSendComplete;
};

class HttpServerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A connected peer, once the listener has handed out its connection (nullptr when
    // `localAddress` cannot be bound).
    std::unique_ptr<TestPeer> Connect(std::string_view localAddress = {});
    // Answers every complete request as the store does: status line and headers, then the
    // body, and closes once everything has been sent.
    void AnswerEveryRequest(double status, std::string text, std::string body);
    WebServerClient& LastClient() { return *recorder.clients.back(); }

    std::shared_ptr<WebServer> server;
    RequestRecorder recorder;
    std::uint16_t port = 0;
};

// The store's answer, byte for byte, without body.
std::string StoreAnswerHead(std::string_view statusAndReason);

}  // namespace pelorin::testing
