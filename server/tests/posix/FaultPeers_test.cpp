// Peers that misbehave while an answer is on its way: one that resets its connection,
// and one that goes on sending after its request. Neither may cost any other peer, or
// itself, a byte of an answer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "server/tests/posix/ServerProcess.h"
#include "testing/TestLoop.h"

namespace pelorin::testing {
namespace {

constexpr std::size_t kBigSize = 10u << 20;

// A blocking connection to the server with a time limit on every wait.
class Peer {
  public:
    explicit Peer(std::uint16_t port, const char* from = "127.0.0.1") {
        socket_ = ConnectFrom(port, from, connected_);
        timeval limit{static_cast<time_t>(ScaledMs(10000) / 1000), 0};
        setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    ~Peer() { close(socket_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool connected() const { return connected_; }
    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    // Reads up to `limit` more bytes; false at the end, on a reset or a time-out.
    bool Read(std::size_t limit = 65536) {
        char buffer[65536];
        const ssize_t n = recv(socket_, buffer, std::min(limit, sizeof buffer), 0);
        if (n <= 0) {
            reset_ = n < 0 && errno == ECONNRESET;
            return false;
        }
        received_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    void ReadToEnd() {
        while (Read()) {
        }
    }
    // Closes with a reset instead of the orderly end.
    void Reset() {
        const linger abort{1, 0};
        setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        close(socket_);
        socket_ = -1;
    }

    const std::string& received() const { return received_; }
    bool reset() const { return reset_; }

  private:
    int socket_ = -1;
    bool connected_ = false;
    bool reset_ = false;
    std::string received_;
};

class MisbehavingPeers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        ASSERT_TRUE(WriteFile(folder_.data() + "big", big_));
        ASSERT_TRUE(server_.Start(folder_.path()));
    }
    // Whatever the peers did, the server ends cleanly (a sanitizer's finding would not).
    void TearDown() override { EXPECT_EQ(server_.Stop(), 0); }

    ScratchFolder folder_;
    ServerProcess server_;
    const std::string big_ = PatternBytes(kBigSize, 11);
};

TEST_F(MisbehavingPeers, ResetMidAnswerLeavesTheOthersWhole) {
    const std::string whole = StoreAnswer("200 OK", big_);
    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> answers(4);
        std::vector<std::thread> readers;
        for (auto& answer : answers) {
            readers.emplace_back(
                [&] { answer = Exchange(server_.port(), "GET /big HTTP/1.0\r\n\r\n"); });
        }
        for (int i = 0; i < 3; ++i) {
            Peer peer(server_.port());
            ASSERT_TRUE(peer.connected());
            ASSERT_TRUE(peer.Send("GET /big HTTP/1.0\r\n\r\n"));
            for (int reads = 0; reads < 4 && peer.received().size() < 100000; ++reads) peer.Read();
            peer.Reset();
        }
        for (auto& r : readers) r.join();
        for (const auto& answer : answers) {
            EXPECT_TRUE(answer == whole) << answer.size() << " bytes of " << whole.size();
        }
    }
    EXPECT_EQ(Exchange(server_.port(), "DIR /big HTTP/1.0\r\n\r\n"), StoreAnswer("200 Found"));
    EXPECT_TRUE(server_.Running());
}

// Closing a connection while the peer's bytes wait unread, or while they arrive, resets
// it, and the reset throws away whatever of the answer had not reached the peer yet.
TEST_F(MisbehavingPeers, PeerSendingAfterItsRequestGetsTheWholeAnswer) {
    const std::string whole = StoreAnswer("200 OK", big_);
    for (int round = 0; round < 3; ++round) {
        Peer peer(server_.port());
        ASSERT_TRUE(peer.connected());
        ASSERT_TRUE(peer.Send("GET /big HTTP/1.0\r\n\r\nand more"));
        // It reads slowly and adds a line now and then, the last ones once the server has
        // handed over its whole answer.
        std::size_t nextExtra = 1u << 20;
        while (peer.Read(16384)) {
            if (peer.received().size() >= nextExtra) {
                peer.Send("\r\n");
                nextExtra += 1u << 20;
            }
        }
        EXPECT_FALSE(peer.reset());
        EXPECT_TRUE(peer.received() == whole)
            << "round " << round << ": " << peer.received().size() << " bytes of " << whole.size();
    }
    EXPECT_TRUE(server_.Running());
}

// A peer the store does not serve gets its refusal at once, while its body still comes.
TEST_F(MisbehavingPeers, RefusedPeerStillSendingGetsTheRefusal) {
    Peer peer(server_.port(), "127.0.0.2");
    if (!peer.connected()) GTEST_SKIP() << "no second loopback address here";
    const std::string body(4u << 20, 'x');
    ASSERT_TRUE(peer.Send("SET /big HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\n\r\n"));
    std::thread sender([&] {
        for (std::size_t at = 0; at < body.size(); at += 65536) {
            if (!peer.Send(std::string_view(body).substr(at, 65536))) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    peer.ReadToEnd();
    sender.join();
    EXPECT_FALSE(peer.reset());
    EXPECT_EQ(peer.received(), StoreAnswer("403 Forbidden"));
    EXPECT_TRUE(FileContents(folder_.data() + "big") == big_);
}

// More connections at once than a small listen queue holds: while the server cannot take
// them (stopped), the system completes them all, and each gets its answer afterwards.
// With a small queue the ones beyond it wait a second or more for every new try.
TEST_F(MisbehavingPeers, BurstOfConnectionsIsTakenWhole) {
    constexpr int kBurst = 300;
    std::vector<int> sockets;
    ASSERT_EQ(kill(server_.pid(), SIGSTOP), 0);
    const sockaddr_in remote = [&] {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(server_.port());
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }();
    for (int i = 0; i < kBurst; ++i) {
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(s, 0);
        sockets.push_back(s);
        connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    }
    // Well below the first retry of a dropped connection (one second).
    std::vector<pollfd> polls;
    for (const int s : sockets) polls.push_back(pollfd{s, POLLOUT, 0});
    int connected = 0;
    for (int waited = 0; waited < 300 && connected < kBurst; waited += 10) {
        poll(polls.data(), polls.size(), 10);
        connected = static_cast<int>(std::count_if(polls.begin(), polls.end(), [](const pollfd& p) {
            return (p.revents & POLLOUT) != 0;
        }));
    }
    kill(server_.pid(), SIGCONT);
    EXPECT_EQ(connected, kBurst);

    const std::string request = "DIR /big HTTP/1.0\r\n\r\n";
    for (const int s : sockets) {
        ASSERT_EQ(send(s, request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
    }
    int answered = 0;
    for (const int s : sockets) {
        std::string answer;
        char buffer[4096];
        for (int waited = 0; waited < 5000;) {
            const ssize_t n = recv(s, buffer, sizeof buffer, 0);
            if (n == 0) break;
            if (n > 0) {
                answer.append(buffer, static_cast<std::size_t>(n));
            } else {
                pollfd p{s, POLLIN, 0};
                poll(&p, 1, 10);
                waited += 10;
            }
        }
        if (answer == StoreAnswer("200 Found")) ++answered;
        close(s);
    }
    EXPECT_EQ(answered, kBurst);
}

// The wait for a peer's end is bounded: one that never stops sending is cut off once
// it has sent a good deal more than any request, and got its answer all the same.
TEST_F(MisbehavingPeers, PeerThatNeverStopsSendingIsCutOff) {
    constexpr std::size_t kMostSent = 256u << 20;
    Peer peer(server_.port());
    ASSERT_TRUE(peer.connected());
    ASSERT_TRUE(peer.Send("DIR /big HTTP/1.0\r\n\r\n"));
    std::thread reader([&] { peer.ReadToEnd(); });
    const std::string junk(1u << 16, 'j');
    std::size_t sent = 0;
    while (sent < kMostSent && peer.Send(junk)) sent += junk.size();
    reader.join();
    EXPECT_LT(sent, kMostSent);
    EXPECT_EQ(peer.received(), StoreAnswer("200 Found"));
    EXPECT_EQ(Exchange(server_.port(), "DIR /big HTTP/1.0\r\n\r\n"), StoreAnswer("200 Found"));
}

}  // namespace
}  // namespace pelorin::testing
