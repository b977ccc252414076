// A peer that ends its sending side once its request is out (a half-close) and only then
// reads the answer gets all of it: the server does not take the peer's end of sending
// for the end of the connection while answer bytes are still on their way.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "testing/TestLoop.h"
#include "server/tests/ServerFixture.h"

namespace pelorin {
namespace {

using testing::Answer;
using HalfClosingPeer = testing::ServerFixture;

// Sends `request`, shuts down its sending side, and reads until the server closes. Blocks:
// run it beside the loop that drives the server. Every receive has a time limit.
std::string ExchangeWithHalfClose(std::uint16_t port, const std::string& request) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return "<no socket>";
    timeval limit{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string received;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(s, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size()) &&
        shutdown(s, SHUT_WR) == 0) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = recv(s, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(s);
    return received;
}

TEST_F(HalfClosingPeer, GetsTheWholeAnswer) {
    std::string big(10 << 20, '\0');  // far more than the socket buffers hold
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13 % 251);
    Put("big", big);
    for (const std::string request : {"GET /big HTTP/1.0\r\n\r\n", "DIR /none HTTP/1.0\r\n\r\n"}) {
        std::string answer;
        std::atomic<bool> done{false};
        std::thread peer([&] {
            answer = ExchangeWithHalfClose(port_, request);
            done = true;
        });
        const bool finished = testing::PumpUntil([&] { return done.load(); }, 15000);
        peer.join();
        ASSERT_TRUE(finished) << request;
        const std::string expected =
            request.starts_with("GET") ? Answer("200 OK", big) : Answer("404 Not Found");
        EXPECT_TRUE(answer == expected) << request << answer.size() << " of " << expected.size();
    }
    // The connections ended: their handlers serve the next ones.
    EXPECT_EQ(Request("DIR /big HTTP/1.0\r\n\r\n"), Answer("200 Found"));
    EXPECT_EQ(form_->HandlerCount(), 1u);
}

}  // namespace
}  // namespace pelorin
