// An answer short enough to leave with the close, to a peer whose receive window is
// closed: the close cannot send it, so the connection has to linger. Closed at once, a
// byte the peer sends afterwards would reset the connection, and the reset would throw
// away the part of the answer the peer's window had held back.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "server/http/LingeringClose.h"
#include "server/http/Winsock.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::PumpFor;
using testing::PumpUntil;

// Takes one connection, answers its first bytes with `answer`, and closes it as soon as
// the answer has been handed to the system.
class ShortAnswerer : public WinsockEvents {
  public:
    explicit ShortAnswerer(std::string answer) : answer_(std::move(answer)) {
        listener_->SetEvents(this);
        connection_->SetEvents(this);
        listener_->SetLocalPort(0);
        listener_->Listen();
    }
    ~ShortAnswerer() override {
        listener_->SetEvents(nullptr);
        connection_->SetEvents(nullptr);
    }
    std::uint16_t port() const { return static_cast<std::uint16_t>(listener_->LocalPort()); }
    bool closed() const { return closed_; }

    void ConnectionRequest(Winsock&, std::int32_t requestID) override {
        connection_->Accept(requestID);
    }
    void DataArrival(Winsock& sender, std::int32_t) override {
        std::string data;
        sender.GetData(data);
        if (!answered_) sender.SendData(answer_);
        answered_ = true;
    }
    void SendComplete(Winsock& sender) override {
        sender.Close();
        closed_ = true;
    }
    void Close(Winsock&) override {}
    void Error(Winsock&, std::int16_t, const std::string&) override {}

  private:
    std::shared_ptr<Winsock> listener_ = Winsock::Create();
    std::shared_ptr<Winsock> connection_ = Winsock::Create();
    std::string answer_;
    bool answered_ = false;
    bool closed_ = false;
};

// One answer: true when the peer got all of it and then the end, no reset.
void ExpectWholeAnswerToLatePeer(std::size_t size) {
    std::string answer(size, '\0');
    for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<char>(i * 11 % 251);
    ShortAnswerer server(answer);

    const int peer = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(peer, 0);
    // The smallest receive buffer the system allows: a window (and so a packet size) of
    // about a KiB, which the answer's first part fills.
    int small = 1;
    ASSERT_EQ(setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(send(peer, "request", 7, MSG_NOSIGNAL), 7);

    // It reads nothing until the server has handed over the answer and closed.
    ASSERT_TRUE(PumpUntil([&] { return server.closed(); }, 5000));
    ASSERT_EQ(send(peer, "more", 4, MSG_NOSIGNAL), 4);

    std::string received;
    bool ended = false;
    bool reset = false;
    for (int step = 0; step < 5000 && !ended && !reset; ++step) {
        PumpFor(1);
        for (int reads = 0; reads < 64; ++reads) {
            char buffer[4096];
            const ssize_t n = recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            ended = n == 0;
            reset = n < 0 && errno != EAGAIN;
            break;
        }
    }
    close(peer);
    EXPECT_TRUE(ended) << size;
    EXPECT_FALSE(reset) << size;
    EXPECT_TRUE(received == answer) << received.size() << " bytes of " << answer.size();
    EXPECT_TRUE(PumpUntil([] { return LingeringCount() == 0; }, 5000));
}

// Sizes around the window: a little more than it holds leaves a tail shorter than a
// packet, which only a window that opens again lets go.
TEST(ClosedWindow, PeerThatReadsLateAndSendsMoreStillGetsTheWholeAnswer) {
    for (const std::size_t size : {1200u, 1400u, 1600u, 2000u, 3000u}) {
        ExpectWholeAnswerToLatePeer(size);
    }
}

}  // namespace
}  // namespace pelorin
