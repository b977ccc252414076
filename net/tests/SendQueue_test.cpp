// What the socket cannot send at once waits, in order, until it can write again; the
// owner hears SendComplete only when everything has gone out. The peer here is a bare
// socket that reads only when the test says so.
#include <gtest/gtest.h>

#include "base/RuntimeError.h"
#include "net/CSocket.h"
#include "net/tests/SocketTestSupport.h"
#include "platform/Files.h"
#include "platform/Sockets.h"
#include "testing/TempFolder.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::PumpFor;
using testing::PumpUntil;
using testing::RecordingOwner;

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned x = seed;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

class SendQueueTest : public testing::SocketTest {
  protected:
    void SetUp() override {
        SocketTest::SetUp();
        listener = CSocket::Create();
        listener->SetEvents(&listenerOwner);
        listener->Listen();
        ASSERT_EQ(listener->State, CSocketState::kListening);
        client = CSocket::Create();
        client->SetEvents(&clientOwner);
    }
    void TearDown() override {
        if (peer > 0) platform::CloseSocket(peer);
        SocketTest::TearDown();
    }

    // Connects the client and takes the connection as a bare, non-blocking socket whose
    // notifications no object hears.
    void ConnectToBarePeer() {
        client->Connect("127.0.0.1", listener->LocalPort);
        ASSERT_TRUE(PumpUntil([&] { return listenerOwner.Saw("ConnectionRequest"); }));
        peer = platform::AcceptSocket(listener->SocketHandle, nullptr);
        ASSERT_GT(peer, 0);
        ASSERT_TRUE(PumpUntil([&] { return client->State == CSocketState::kConnected; }));
    }

    // Reads what is there now.
    void ReadAvailable() {
        char buffer[65536];
        for (int i = 0; i < 64; ++i) {
            const int n = platform::ReceiveBytes(peer, buffer, sizeof buffer);
            if (n <= 0) return;
            got.append(buffer, static_cast<std::size_t>(n));
        }
    }

    bool ReadUntil(std::size_t size, std::uint32_t timeoutMs = 20000) {
        return PumpUntil(
            [&] {
                ReadAvailable();
                return got.size() >= size;
            },
            timeoutMs);
    }

    RecordingOwner listenerOwner;
    RecordingOwner clientOwner;
    std::shared_ptr<CSocket> listener;
    std::shared_ptr<CSocket> client;
    platform::SocketHandle peer = 0;
    std::string got;
};

TEST_F(SendQueueTest, APeerThatDoesNotReadLosesNothingAndSendCompleteWaitsForTheRest) {
    ConnectToBarePeer();
    ASSERT_TRUE(PumpUntil([&] { return clientOwner.sendCompletes == 1; }));
    const std::string big = Pattern(8 * 1024 * 1024, 7);
    client->SendData(CSocket::ByteArray{big});
    client->SendData("tail");  // goes out after what is still waiting
    PumpFor(200);
    EXPECT_EQ(clientOwner.sendCompletes, 1) << "the bytes cannot all be out yet";
    ASSERT_TRUE(ReadUntil(big.size() + 4));
    EXPECT_EQ(got.size(), big.size() + 4);
    EXPECT_TRUE(got == big + "tail") << "bytes lost or out of order";
    EXPECT_TRUE(PumpUntil([&] { return clientOwner.sendCompletes == 2; }));
}

TEST_F(SendQueueTest, DataSentWhileConnectingGoesOutOnceConnected) {
    client->Connect("127.0.0.1", listener->LocalPort);
    client->SendData("early");
    ASSERT_TRUE(PumpUntil([&] { return listenerOwner.Saw("ConnectionRequest"); }));
    peer = platform::AcceptSocket(listener->SocketHandle, nullptr);
    ASSERT_TRUE(ReadUntil(5, 5000));
    EXPECT_EQ(got, "early");
}

TEST_F(SendQueueTest, DisconnectDropsWhatIsStillWaiting) {
    ConnectToBarePeer();
    client->SendData(CSocket::ByteArray{Pattern(8 * 1024 * 1024, 3)});
    client->Disconnect();
    EXPECT_EQ(client->SendData("nothing"), 0);
    // A new connection does not carry the old connection's rest.
    platform::CloseSocket(peer);
    peer = 0;
    got.clear();
    ConnectToBarePeer();
    client->SendData("fresh");
    ASSERT_TRUE(ReadUntil(5, 5000));
    EXPECT_EQ(got, "fresh");  // an old rest would have come first
}

TEST_F(SendQueueTest, ALargeFileArrivesWhole) {
    testing::TempFolder folder;
    const std::string path = folder.path() + "big.bin";
    const std::string contents = Pattern(20 * 1024 * 1024 + 123, 11);
    ASSERT_EQ(platform::WriteWholeFile(path, contents), 0);
    ConnectToBarePeer();
    client->SendFile(path);
    ASSERT_TRUE(ReadUntil(contents.size()));
    EXPECT_EQ(got.size(), contents.size());
    EXPECT_TRUE(got == contents);
}

TEST_F(SendQueueTest, AMissingFileIsAnErrorForTheCaller) {
    ConnectToBarePeer();
    testing::TempFolder folder;
    try {
        client->SendFile(folder.path() + "missing.bin");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errors::kFileNotFound);
    }
    EXPECT_FALSE(clientOwner.Saw("Error"));
    EXPECT_EQ(client->State, CSocketState::kConnected);
}

}  // namespace
}  // namespace pelorin
