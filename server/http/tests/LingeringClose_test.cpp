// A connection closed by its owner while the peer still sends: the peer gets every byte
// written before the close, then the end of the data, never a reset; the closed socket
// is gone once the peer closes too.
#include "server/http/LingeringClose.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Sockets.h"
#include "server/http/Winsock.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::PumpFor;
using testing::PumpUntil;

// Takes one connection, answers its first bytes with `answer`, and closes it as soon as
// the answer has been handed to the system.
class AnsweringEndpoint : public WinsockEvents {
  public:
    explicit AnsweringEndpoint(std::string answer) : answer_(std::move(answer)) {
        listener->SetEvents(this);
        connection->SetEvents(this);
        listener->SetLocalPort(0);
        listener->Listen();
    }
    ~AnsweringEndpoint() override {
        listener->SetEvents(nullptr);
        connection->SetEvents(nullptr);
    }
    std::uint16_t port() const { return static_cast<std::uint16_t>(listener->LocalPort()); }

    void ConnectionRequest(Winsock&, std::int32_t requestID) override {
        connection->Accept(requestID);
    }
    void DataArrival(Winsock& sender, std::int32_t) override {
        std::string data;
        sender.GetData(data);
        if (!answered_) sender.SendData(answer_);
        answered_ = true;
    }
    void SendComplete(Winsock& sender) override {
        sender.Close();
        closed = true;
    }
    void Close(Winsock&) override {}
    void Error(Winsock&, std::int16_t, const std::string&) override {}

    std::shared_ptr<Winsock> listener = Winsock::Create();
    std::shared_ptr<Winsock> connection = Winsock::Create();
    bool closed = false;

  private:
    std::string answer_;
    bool answered_ = false;
};

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 253);
    return bytes;
}

// A peer that reads when told to, a little at a time, so that much of an answer can be
// on its way to it when the server closes.
class SlowPeer {
  public:
    explicit SlowPeer(std::uint16_t port) {
        socket_ = platform::OpenTcpSocket();
        const platform::Ipv4Endpoint server{platform::ParseDottedAddress("127.0.0.1"), port};
        connected_ = socket_ != platform::kInvalidSocket &&
                     platform::ConnectSocket(socket_, server) == 0 &&
                     platform::SetSocketBlocking(socket_, false) == 0;
    }
    ~SlowPeer() { Close(); }
    SlowPeer(const SlowPeer&) = delete;
    SlowPeer& operator=(const SlowPeer&) = delete;

    bool connected() const { return connected_; }
    bool Send(std::string_view bytes) {
        return platform::SendBytes(socket_, bytes.data(), static_cast<int>(bytes.size())) ==
               static_cast<int>(bytes.size());
    }
    // One receive of at most 16 KiB: the bytes taken, 0 at the end, -1 when nothing
    // waits, -2 on a failure (a reset).
    int ReadSome() {
        char buffer[16 * 1024];
        const int n = platform::ReceiveBytes(socket_, buffer, sizeof buffer);
        if (n > 0) received_.append(buffer, static_cast<std::size_t>(n));
        if (n >= 0) return n;
        if (platform::LastSocketError() == platform::kWsaEWouldBlock) return -1;
        reset_ = true;
        return -2;
    }
    void Close() {
        if (socket_ != platform::kInvalidSocket) platform::CloseSocket(socket_);
        socket_ = platform::kInvalidSocket;
    }

    const std::string& received() const { return received_; }
    bool reset() const { return reset_; }

  private:
    platform::SocketHandle socket_ = platform::kInvalidSocket;
    bool connected_ = false;
    bool reset_ = false;
    std::string received_;
};

TEST(LingeringClose, PeerSendingAfterTheCloseStillGetsEveryByte) {
    const std::string answer = Pattern(8u << 20);  // more than the socket buffers hold
    AnsweringEndpoint server(answer);
    SlowPeer peer(server.port());
    ASSERT_TRUE(peer.connected());
    ASSERT_TRUE(peer.Send("request"));
    // It reads slowly until the server has handed over everything and closed.
    for (int step = 0; step < 20000 && !server.closed; ++step) {
        PumpFor(1);
        for (int reads = 0; reads < 8 && peer.ReadSome() > 0; ++reads) {
        }
    }
    ASSERT_TRUE(server.closed);
    ASSERT_LT(peer.received().size(), answer.size()) << "nothing left on its way";
    ASSERT_TRUE(peer.Send("more bytes the server no longer wants"));
    bool ended = false;
    for (int step = 0; step < 20000 && !ended; ++step) {
        PumpFor(1);
        for (int reads = 0; reads < 64; ++reads) {
            const int n = peer.ReadSome();
            ended = n == 0 || n == -2;
            if (n <= 0) break;
        }
    }
    EXPECT_TRUE(ended);
    EXPECT_FALSE(peer.reset());
    EXPECT_TRUE(peer.received() == answer)
        << peer.received().size() << " bytes of " << answer.size();

    // Once the peer closed as well, nothing of the connection is left.
    peer.Close();
    EXPECT_TRUE(PumpUntil([] { return LingeringCount() == 0; }, 5000));
}

}  // namespace
}  // namespace pelorin
