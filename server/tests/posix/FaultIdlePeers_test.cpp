// Peers that connect and then do nothing, more of them than the server has descriptors:
// refused peers hold none, local ones beyond the descriptors are closed at once, the
// soft limit is raised to the hard one, and a request that never ends closes at the
// time limit of its head. None of them keeps the store from answering.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/tests/posix/ServerProcess.h"
#include "testing/TestLoop.h"

namespace pelorin::testing {
namespace {

// The descriptors of a server that is to run out of them.
constexpr std::uint64_t kFewDescriptors = 64;

// A connection to the server that sends nothing unless told, from `from`.
class IdlePeer {
  public:
    IdlePeer(std::uint16_t port, const char* from) {
        socket_ = ConnectFrom(port, from, connected_);
    }
    ~IdlePeer() { close(socket_); }
    IdlePeer(const IdlePeer&) = delete;
    IdlePeer& operator=(const IdlePeer&) = delete;

    bool connected() const { return connected_; }
    // Takes what has come without waiting; true once the server ended the connection.
    bool Ended() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                received_.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            return n == 0 || errno != EAGAIN;
        }
    }
    // Sends `request` and returns everything until the server's end.
    std::string Ask(std::string_view request) {
        send(socket_, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(socket_, buffer, sizeof buffer, 0)) > 0) {
            received_.append(buffer, static_cast<std::size_t>(n));
        }
        return received_;
    }
    const std::string& received() const { return received_; }

  private:
    int socket_ = -1;
    bool connected_ = false;
    std::string received_;
};

using Peers = std::vector<std::unique_ptr<IdlePeer>>;

Peers ConnectIdle(std::uint16_t port, const char* from, int count) {
    Peers peers;
    for (int i = 0; i < count; ++i) {
        peers.push_back(std::make_unique<IdlePeer>(port, from));
        if (!peers.back()->connected()) break;
    }
    return peers;
}

int CountEnded(Peers& peers) {
    return static_cast<int>(
        std::count_if(peers.begin(), peers.end(), [](auto& peer) { return peer->Ended(); }));
}

// The memory checker takes descriptors of its own from the few the limited tests leave the
// program, and shows it a hard limit of its own.
constexpr char kCheckerKeepsLimits[] = "a memory checker keeps the descriptor limits to itself";

class IdlePeers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        ASSERT_TRUE(WriteFile(folder_.data() + "x", "hello"));
    }
    void TearDown() override {
        const int status = server_.Stop();
        if (!IsSkipped()) {
            EXPECT_EQ(status, 0);
        }
    }

    ScratchFolder folder_;
    ServerProcess server_;
    const std::string get_ = "GET /x HTTP/1.0\r\n\r\n";
    const std::string answer_ = StoreAnswer("200 OK", "hello");
};

// More peers of another address than the server has descriptors: each is answered and
// closed as it comes, without sending a byte, and the store answers a local GET
// behind them.
TEST_F(IdlePeers, RefusedPeersAreAnsweredAtOnceAndHoldNoDescriptor) {
    if (TimeScale() > 1) GTEST_SKIP() << kCheckerKeepsLimits;
    ASSERT_TRUE(server_.Start(folder_.path(),
                              {.openFiles = SoftAndHard{kFewDescriptors, kFewDescriptors}}));
    Peers refused = ConnectIdle(server_.port(), "127.0.0.2", 3 * kFewDescriptors);
    if (!refused.front()->connected()) GTEST_SKIP() << "no second loopback address here";
    ASSERT_TRUE(refused.back()->connected());
    EXPECT_EQ(Exchange(server_.port(), get_), answer_);
    ASSERT_TRUE(PollUntil([&] { return CountEnded(refused) == static_cast<int>(refused.size()); }));
    for (const auto& peer : refused) EXPECT_EQ(peer->received(), StoreAnswer("403 Forbidden"));
}

// Local peers beyond the server's descriptors are closed at once rather than left
// waiting; once the others leave, the store answers again.
TEST_F(IdlePeers, LocalPeersBeyondTheDescriptorsAreClosedAtOnce) {
    if (TimeScale() > 1) GTEST_SKIP() << kCheckerKeepsLimits;
    ASSERT_TRUE(server_.Start(folder_.path(),
                              {.openFiles = SoftAndHard{kFewDescriptors, kFewDescriptors}}));
    Peers idle = ConnectIdle(server_.port(), "127.0.0.1", 3 * kFewDescriptors);
    ASSERT_TRUE(idle.back()->connected());
    const int beyond = static_cast<int>(idle.size() - kFewDescriptors);
    EXPECT_TRUE(PollUntil([&] { return CountEnded(idle) >= beyond; }));
    idle.clear();
    EXPECT_TRUE(PollUntil([&] { return Exchange(server_.port(), get_) == answer_; }));
}

// With a soft limit far below the hard one, the server holds more connections than the
// soft limit allows, and answers each.
TEST_F(IdlePeers, TheSoftLimitIsRaisedToTheHardOne) {
    if (TimeScale() > 1) GTEST_SKIP() << kCheckerKeepsLimits;
    constexpr int kPeers = 5 * kFewDescriptors;
    rlimit own{};
    getrlimit(RLIMIT_NOFILE, &own);
    const std::uint64_t hard = std::min<std::uint64_t>(own.rlim_max, 4 * kPeers);
    if (hard < 2 * kPeers || own.rlim_cur < 2 * kPeers) {
        GTEST_SKIP() << "too few descriptors here for " << kPeers << " connections";
    }
    ASSERT_TRUE(server_.Start(folder_.path(), {.openFiles = SoftAndHard{kFewDescriptors, hard}}));
    Peers idle = ConnectIdle(server_.port(), "127.0.0.1", kPeers);
    ASSERT_TRUE(idle.back()->connected());
    int answered = 0;
    for (auto& peer : idle) answered += peer->Ask(get_) == answer_ ? 1 : 0;
    EXPECT_EQ(answered, kPeers);
}

// Through the program's own setting of the limits: a request of bare line feeds never
// ends, and a body that stops comes no further; both close, the file untouched.
TEST_F(IdlePeers, RequestsThatNeverEndCloseAtTheirLimit) {
    ASSERT_TRUE(server_.Start(folder_.path(), {.connectionLimitMs = ScaledMs(500)}));
    EXPECT_EQ(Exchange(server_.port(), "GET /x HTTP/1.0\n\n"), "");
    EXPECT_EQ(Exchange(server_.port(), "SET /x HTTP/1.0\r\nContent-Length: 10\r\n\r\nabc"), "");
    EXPECT_EQ(FileContents(folder_.data() + "x"), "hello");
    EXPECT_EQ(Exchange(server_.port(), get_), answer_);
}

}  // namespace
}  // namespace pelorin::testing
