// The server under a service manager that waits for readiness: the test plays the
// manager with a datagram socket of its own in NOTIFY_SOCKET.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "server/tests/posix/ServerProcess.h"
#include "testing/TestLoop.h"

namespace pelorin::testing {
namespace {

// The manager's end: a datagram socket bound to a path in the scratch folder.
class NotifySocket {
  public:
    explicit NotifySocket(const std::string& path) : path_(path) {
        socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { close(socket_); }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool bound() const { return bound_; }
    const std::string& path() const { return path_; }

    // The next message, or "" when none came within `ms`.
    std::string Receive(int ms) {
        pollfd one{socket_, POLLIN, 0};
        if (poll(&one, 1, ms) != 1) return {};
        char buffer[4096];
        const ssize_t n = recv(socket_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

  private:
    std::string path_;
    int socket_ = -1;
    bool bound_ = false;
};

// Another program's listener on a loopback port, which the server cannot take.
class TakenPort {
  public:
    TakenPort() {
        socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(socket_, 1) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~TakenPort() { close(socket_); }
    TakenPort(const TakenPort&) = delete;
    TakenPort& operator=(const TakenPort&) = delete;

    std::string PortSwitch() const { return "/PORT" + std::to_string(port_); }
    std::uint16_t port() const { return port_; }

  private:
    int socket_ = -1;
    std::uint16_t port_ = 0;
};

// Waits (bounded: another process writes it) until the server's standard error holds `text`.
bool StandardErrorShows(const ScratchFolder& folder, const std::string& text) {
    return testing::PollUntil([&] {
        return FileContents(folder.path() + "stderr.txt").value_or("").find(text) !=
               std::string::npos;
    });
}

TEST(ServiceReadiness, ReadyOnceThePortAcceptsAndStoppingOnTermination) {
    ScratchFolder folder;
    NotifySocket manager(folder.path() + "notify");
    ASSERT_TRUE(manager.bound());
    ServerProcess server;
    ASSERT_TRUE(server.Launch(folder.path(), {.notifySocket = manager.path()}));

    EXPECT_EQ(manager.Receive(static_cast<int>(ScaledMs(10000))), "READY=1");
    // Ready means served: the first request after the message gets its answer.
    EXPECT_EQ(Exchange(server.port(), "DIR /x HTTP/1.0\r\n\r\n"), StoreAnswer("404 Not Found"));

    EXPECT_EQ(server.Stop(), 0);
    EXPECT_EQ(manager.Receive(0), "STOPPING=1");
}

TEST(ServiceReadiness, FirstListenFailingEndsTheProgramWithTheReason) {
    ScratchFolder folder;
    NotifySocket manager(folder.path() + "notify");
    ASSERT_TRUE(manager.bound());
    TakenPort taken;
    ASSERT_NE(taken.port(), 0);
    ServerProcess server;
    ASSERT_TRUE(
        server.Launch(folder.path(), {.notifySocket = manager.path()}, {taken.PortSwitch()}));

    EXPECT_EQ(server.Wait(), 1);
    const std::string errors = FileContents(folder.path() + "stderr.txt").value_or("");
    EXPECT_NE(errors.find("cannot listen to port " + std::to_string(taken.port())),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("the service ends"), std::string::npos) << errors;
    for (std::string message = manager.Receive(0); !message.empty(); message = manager.Receive(0)) {
        EXPECT_NE(message, "READY=1");
    }
}

TEST(ServiceReadiness, WithoutAManagerATakenPortLeavesTheProgramRunning) {
    ScratchFolder folder;
    TakenPort taken;
    ASSERT_NE(taken.port(), 0);
    ServerProcess server;
    ASSERT_TRUE(server.Launch(folder.path(), {}, {taken.PortSwitch()}));

    ASSERT_TRUE(StandardErrorShows(folder, "cannot listen to port"));
    EXPECT_TRUE(server.Running());
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace pelorin::testing
