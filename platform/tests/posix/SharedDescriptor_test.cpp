// A socket closed while a child process still holds its descriptor (forked, and not yet
// running its program) stays registered for notifications until the child lets go; what
// that registration reports must not reach the socket that has the number by then.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/MessageQueue.h"
#include "platform/Sockets.h"
#include "platform/Window.h"
#include "testing/TestLoop.h"

namespace pelorin::platform {
namespace {

constexpr MessageId kNotifyMessage = 2000;

std::vector<std::pair<SocketHandle, std::uint32_t>> gNotes;  // socket, event

LResult Record(WindowHandle window, MessageId message, WParam wp, LParam lp) {
    if (message != kNotifyMessage) return DefaultWindowProc(window, message, wp, lp);
    gNotes.emplace_back(static_cast<SocketHandle>(wp), LowWord(static_cast<std::uintptr_t>(lp)));
    return 0;
}

std::size_t NotesOf(SocketHandle socket) {
    return static_cast<std::size_t>(std::count_if(
        gNotes.begin(), gNotes.end(), [&](const auto& note) { return note.first == socket; }));
}

SocketHandle Listener(WindowHandle window, std::uint16_t& port) {
    const SocketHandle s = OpenTcpSocket();
    EXPECT_EQ(BindSocket(s, Ipv4Endpoint{ParseDottedAddress("127.0.0.1"), 0}), 0);
    EXPECT_EQ(RequestNotifications(s, window, kNotifyMessage, kFdAccept), 0);
    EXPECT_EQ(ListenSocket(s, 5), 0);
    Ipv4Endpoint local;
    EXPECT_EQ(LocalEndpoint(s, local), 0);
    port = local.port;
    return s;
}

SocketHandle Client(std::uint16_t port) {
    const SocketHandle s = OpenTcpSocket();
    EXPECT_EQ(ConnectSocket(s, Ipv4Endpoint{ParseDottedAddress("127.0.0.1"), port}), 0);
    return s;
}

TEST(SharedDescriptor, ARegistrationThatOutlivesItsSocketReportsToNoOther) {
    const WindowHandle window = CreateHiddenWindow("notes");
    ReplaceWindowProc(window, Record);
    std::uint16_t port = 0;
    const SocketHandle listener = Listener(window, port);
    const SocketHandle client = Client(port);
    ASSERT_TRUE(testing::PumpUntil([&] { return NotesOf(listener) == 1; }));
    const SocketHandle accepted = AcceptSocket(listener, nullptr);
    ASSERT_EQ(RequestNotifications(accepted, window, kNotifyMessage, kFdRead | kFdClose), 0);
    gNotes.clear();

    int hold[2];
    ASSERT_EQ(pipe(hold), 0);
    const pid_t child = fork();
    if (child == 0) {  // holds every descriptor until the pipe closes
        close(hold[1]);
        char byte;
        _exit(static_cast<int>(read(hold[0], &byte, 1)));
    }
    ASSERT_GT(child, 0);
    close(hold[0]);
    // Data makes the registration fire; nobody has looked at it yet when the socket closes.
    ASSERT_EQ(SendBytes(client, "x", 1), 1);
    pollfd readable{static_cast<int>(accepted), POLLIN, 0};
    ASSERT_EQ(poll(&readable, 1, 5000), 1);
    ASSERT_EQ(CloseSocket(accepted), 0);
    std::uint16_t nextPort = 0;
    const SocketHandle next = Listener(window, nextPort);
    ASSERT_EQ(next, accepted) << "the lowest free number is given again";
    // The first listener's note comes after anything the old registration reports.
    const SocketHandle second = Client(port);
    EXPECT_TRUE(testing::PumpUntil([&] { return NotesOf(listener) == 1; }));
    EXPECT_EQ(NotesOf(next), 0u) << "no connection waits at the new listener";

    close(hold[1]);
    waitpid(child, nullptr, 0);
    for (const SocketHandle s : {second, next, client, listener}) CloseSocket(s);
    DestroyWin(window);
}

}  // namespace
}  // namespace pelorin::platform
