// A file that shrank after it was opened for an answer: the answer has no length, so only
// a reset tells the peer that the bytes it got are not the whole file. (Under Wine the
// reset does not reach a peer's receive as an error, so this is shown on Linux.)
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Files.h"
#include "testing/TempFolder.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"
#include "server/http/Winsock.h"

namespace pelorin {
namespace {

using testing::PumpUntil;

// Accepts one connection; closes it when it fails, as the connection server does.
class FailingSender : public WinsockEvents {
  public:
    FailingSender() {
        listener->SetEvents(this);
        connection->SetEvents(this);
        listener->SetLocalPort(0);
        listener->Listen();
    }
    ~FailingSender() override {
        listener->SetEvents(nullptr);
        connection->SetEvents(nullptr);
    }
    std::uint16_t port() const { return static_cast<std::uint16_t>(listener->LocalPort()); }

    void ConnectionRequest(Winsock&, std::int32_t requestID) override {
        connection->Accept(requestID);
    }
    void DataArrival(Winsock&, std::int32_t) override {}
    void SendComplete(Winsock&) override {}
    void Close(Winsock&) override {}
    void Error(Winsock& sender, std::int16_t, const std::string&) override {
        failed = true;
        sender.Close();
    }

    std::shared_ptr<Winsock> listener = Winsock::Create();
    std::shared_ptr<Winsock> connection = Winsock::Create();
    bool failed = false;
};

TEST(ShrunkFile, ThePeerGetsAReset) {
    testing::TempFolder folder;
    const std::string path = folder.path() + "file";
    ASSERT_EQ(platform::WriteWholeFile(path, std::string(1u << 20, 'x')), 0);
    platform::ReadableFile file;
    ASSERT_EQ(file.Open(path), 0);
    ASSERT_EQ(platform::WriteWholeFile(path, "short"), 0);

    FailingSender sender;
    testing::TestPeer peer(sender.port());
    ASSERT_TRUE(PumpUntil([&] { return sender.connection->State() == Winsock::sckConnected; }));
    sender.connection->SendFile(std::move(file));
    ASSERT_TRUE(PumpUntil([&] { return sender.failed; }));
    ASSERT_TRUE(peer.ReadUntilClosed());
    EXPECT_TRUE(peer.reset());
}

}  // namespace
}  // namespace pelorin
