// The SSL path through the outside library, proven with the test stand-in built next to
// this program: a missing library or function fails the call after the socket is closed
// again, the library's own failures give their error numbers, and a working library
// carries the data both ways.
#include "net/SslLibrary.h"

#include <gtest/gtest.h>

#include "base/RuntimeError.h"
#include "net/CSocket.h"
#include "net/tests/SocketTestSupport.h"
#include "platform/DynamicLibrary.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::PumpUntil;
using testing::RecordingOwner;

class SslTest : public testing::SocketTest {
  protected:
    void SetUp() override {
        SocketTest::SetUp();
        listener = CSocket::Create();
        listener->SetEvents(&listenerOwner);
        listenerOwner.acceptRequests = true;
        listener->Listen();
        ASSERT_EQ(listener->State, CSocketState::kListening);
        client = CSocket::Create();
        client->SetEvents(&clientOwner);
        client->SSLEnable = true;
        client->SSLCAFile = "authorities.pem";
    }

    // Connects, expecting the library to throw `number`.
    void ExpectConnectThrows(int number, const std::string& text) {
        try {
            client->Connect("127.0.0.1", listener->LocalPort);
            FAIL() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), number);
            EXPECT_EQ(std::string(e.what()), text);
        }
        EXPECT_EQ(client->State, CSocketState::kClosed);
        EXPECT_EQ(client->SocketHandle, 0);
        EXPECT_EQ(client->SSLHandle, 0);
        EXPECT_EQ(client->WindowHandle, 0);
    }

    std::shared_ptr<CSocket> AcceptedConnection() {
        EXPECT_TRUE(PumpUntil([&] { return !listenerOwner.accepted.empty(); }));
        if (listenerOwner.accepted.empty()) return nullptr;
        auto server = listenerOwner.accepted.front();
        server->SetEvents(&serverOwner);
        return server;
    }

    RecordingOwner listenerOwner;
    RecordingOwner clientOwner;
    RecordingOwner serverOwner;
    std::shared_ptr<CSocket> listener;
    std::shared_ptr<CSocket> client;
};

// The stand-in's own counters, read through a second load of the same library.
int FakeCounter(const char* name) {
    auto library = platform::LoadDynamicLibrary(platform::SharedLibraryFileName("OpenSSL"));
    EXPECT_NE(library, nullptr);
    if (library == nullptr) return -1;
    using Counter = std::int32_t (*)();
    auto counter = reinterpret_cast<Counter>(platform::LibraryFunction(library, name));
    const int value = counter != nullptr ? counter() : -1;
    platform::FreeDynamicLibrary(library);
    return value;
}

TEST_F(SslTest, AMissingLibraryFailsConnectWithFileNotFound) {
    SslLibrary::SetLibraryNameForTests("NoSuchSslLibrary");
    ExpectConnectThrows(SslLibrary::kFileNotFound,
                        "File not found: " + SslLibrary::LibraryFileName());
    EXPECT_FALSE(clientOwner.Saw("Connect"));
}

TEST_F(SslTest, AMissingFunctionFailsTheCallThatNeedsIt) {
    SslLibrary::SetLibraryNameForTests("OpenSSLPartial");
    // Set-up and the Connect event work; the verification has no function to call.
    ExpectConnectThrows(
        SslLibrary::kEntryPointNotFound,
        "Can't find DLL entry point ssl_getverify in " + SslLibrary::LibraryFileName());
    EXPECT_TRUE(clientOwner.Saw("Connect"));
}

TEST_F(SslTest, AMissingLibraryFailsAcceptAndLeavesItClosed) {
    listenerOwner.acceptRequests = false;
    listener->SSLEnable = true;
    SslLibrary::SetLibraryNameForTests("NoSuchSslLibrary");
    RecordingOwner plainOwner;
    auto plain = CSocket::Create();
    plain->SetEvents(&plainOwner);
    plain->Connect("127.0.0.1", listener->LocalPort);
    ASSERT_TRUE(PumpUntil([&] { return listenerOwner.Saw("ConnectionRequest"); }));
    auto connection = CSocket::Create();
    EXPECT_THROW(connection->Accept(*listener), RuntimeError);
    EXPECT_EQ(connection->State, CSocketState::kClosed);
    EXPECT_EQ(connection->SocketHandle, 0);
    EXPECT_EQ(connection->WindowHandle, 0);
}

TEST_F(SslTest, NoHandleFromTheLibraryIsErrorEight) {
    client->SSLCAFile = "refuse";
    client->Connect("127.0.0.1", listener->LocalPort);
    EXPECT_EQ(clientOwner.events, std::vector<std::string>{"Error 8 error on initializing ssl"});
    EXPECT_EQ(client->State, CSocketState::kClosed);
}

TEST_F(SslTest, AFailedConnectionAttemptIsErrorSeven) {
    auto probe = CSocket::Create();
    probe->Listen();
    const std::int32_t port = probe->LocalPort;
    probe->Cancel();
    client->Connect("127.0.0.1", port);
    EXPECT_EQ(clientOwner.events, std::vector<std::string>{"Error 7 error on connecting"});
    EXPECT_EQ(client->State, CSocketState::kClosed);
}

TEST_F(SslTest, AServerHandleOfAtMost100LeavesTheAcceptedObjectClosedWithoutAnEvent) {
    listener->SSLEnable = true;
    listener->SSLServerCertificate = "refuse";
    client->SSLEnable = false;
    client->Connect("127.0.0.1", listener->LocalPort);
    auto server = AcceptedConnection();
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->State, CSocketState::kClosed);
    EXPECT_EQ(server->SocketHandle, 0);
    EXPECT_TRUE(serverOwner.events.empty());
}

TEST_F(SslTest, BothEndsThroughTheLibraryConnectTrustAndExchangeData) {
    listener->SSLEnable = true;
    listener->SSLServerCertificate = "server.pem";
    listener->SSLServerKey = "server.key";
    bool trustedDuringConnect = true;
    clientOwner.onConnect = [&](CSocket& s) { trustedDuringConnect = s.SSLTrusted; };
    const int cleanupsBefore = FakeCounter("fake_ssl_cleanups");

    client->Connect("127.0.0.1", listener->LocalPort);
    // The set-up happens inside the call: Connect has been raised when it returns.
    EXPECT_EQ(clientOwner.events, std::vector<std::string>{"Connect"});
    EXPECT_FALSE(trustedDuringConnect);
    EXPECT_TRUE(client->SSLTrusted);
    EXPECT_GT(client->SSLHandle, 100);
    EXPECT_EQ(client->State, CSocketState::kConnected);
    EXPECT_EQ(client->SSLCipher, "MASK-5A");
    EXPECT_EQ(client->SSLSubject, "CN=peer " + std::to_string(client->SSLHandle));
    EXPECT_EQ(client->SSLIssuer, "CN=Test Authority");
    EXPECT_EQ(client->RemotePort, listener->LocalPort);

    auto server = AcceptedConnection();
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->State, CSocketState::kConnected);
    EXPECT_GT(server->SSLHandle, 100);
    EXPECT_EQ(server->SSLServerKey, "server.key");

    const std::string request(5000, 'q');
    client->SendData(CSocket::ByteArray{request});
    ASSERT_TRUE(PumpUntil([&] { return serverOwner.received.size() == request.size(); }));
    EXPECT_EQ(serverOwner.received, request);
    server->SendData("answer");
    ASSERT_TRUE(PumpUntil([&] { return clientOwner.received == "answer"; }));
    // More data after the first arrival is still reported.
    server->SendData("again");
    ASSERT_TRUE(PumpUntil([&] { return clientOwner.received == "answeragain"; }));

    client->Cancel();
    EXPECT_EQ(FakeCounter("fake_ssl_cleanups"), cleanupsBefore + 1);
    EXPECT_TRUE(PumpUntil([&] { return serverOwner.Saw("Closed"); }));
    EXPECT_EQ(FakeCounter("fake_ssl_cleanups"), cleanupsBefore + 2);
}

TEST_F(SslTest, APeerWithoutTheLibrarySeesTheLibrarysBytes) {
    client->SSLCAFile = "";
    client->Connect("127.0.0.1", listener->LocalPort);
    EXPECT_FALSE(client->SSLTrusted);  // nothing to verify against
    auto server = AcceptedConnection();
    ASSERT_NE(server, nullptr);
    client->SendData(CSocket::ByteArray{"AB"});
    ASSERT_TRUE(PumpUntil([&] { return serverOwner.received.size() == 2; }));
    EXPECT_EQ(serverOwner.received, std::string("\x1b\x18"));  // 'A' ^ 0x5A, 'B' ^ 0x5A
}

}  // namespace
}  // namespace pelorin
