// The event socket over loopback: failures of Connect and Listen with their numbers and
// texts, connecting and accepting, the time-out, receiving in binary and line mode,
// what is sent, notifications that must be ignored, and the object's lifetime.
#include "net/CSocket.h"

#include <gtest/gtest.h>

#include "net/SocketModule.h"
#include "net/tests/SocketTestSupport.h"
#include "platform/MessageQueue.h"
#include "platform/Sockets.h"
#include "testing/RecordingHooks.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::Address;
using testing::Fake;
using testing::LoopbackPair;
using testing::PollUntil;
using testing::PumpFor;
using testing::PumpUntil;
using testing::RecordingOwner;

class CSocketTest : public testing::SocketTest {};

std::shared_ptr<CSocket> MakeSocket(RecordingOwner& owner) {
    auto socket = CSocket::Create();
    socket->SetEvents(&owner);
    return socket;
}

// A port on which nothing listens (it was just given up by a listener).
std::int32_t ClosedPort() {
    auto probe = CSocket::Create();
    probe->Listen();
    const std::int32_t port = probe->LocalPort;
    probe->Cancel();
    return port;
}

void ExpectClosed(const CSocket& socket) {
    EXPECT_EQ(socket.State, CSocketState::kClosed);
    EXPECT_EQ(socket.SocketHandle, 0);
    EXPECT_EQ(socket.WindowHandle, 0);
}

TEST_F(CSocketTest, UnusableRemotePortsFailWithBadPortBeforeAnySocketExists) {
    for (std::int32_t port : {65535, -1, 65535 + 65536}) {
        RecordingOwner owner;
        auto socket = MakeSocket(owner);
        owner.onError = [](CSocket& s, std::int32_t) { EXPECT_EQ(s.SocketHandle, 0); };
        socket->Connect("127.0.0.1", port);
        EXPECT_EQ(owner.events, std::vector<std::string>{"Error 1 bad port"}) << port;
        ExpectClosed(*socket);
    }
}

TEST_F(CSocketTest, ListeningOnAnUnusablePortFailsWithInvalidSocket) {
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    socket->LocalPort = 65535;
    socket->Listen();
    EXPECT_EQ(owner.events, std::vector<std::string>{"Error 4 invalid socket"});
    EXPECT_EQ(socket->WindowHandle, 0);
    EXPECT_EQ(socket->SocketHandle, 0);
}

TEST_F(CSocketTest, AnUnknownHostFailsWithHostNotFoundAndLeavesTheSocketClosed) {
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    owner.onError = [](CSocket& s, std::int32_t) { EXPECT_EQ(s.State, CSocketState::kClosed); };
    socket->Connect("nowhere.invalid", 80);
    EXPECT_EQ(owner.events, std::vector<std::string>{"Error 2 host not found"});
    ExpectClosed(*socket);
}

TEST_F(CSocketTest, ABusyLocalPortFailsWithErrorOnBinding) {
    RecordingOwner listenerOwner;
    auto listener = MakeSocket(listenerOwner);
    listener->Listen();
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    socket->LocalPort = listener->LocalPort;
    socket->Connect("127.0.0.1", listener->LocalPort);
    EXPECT_EQ(owner.events, std::vector<std::string>{"Error 5 error on binding"});
    ExpectClosed(*socket);

    RecordingOwner secondOwner;
    auto second = MakeSocket(secondOwner);
    second->LocalPort = listener->LocalPort;
    second->Listen();
    EXPECT_EQ(secondOwner.events, std::vector<std::string>{"Error 5 error on binding"});
}

TEST_F(CSocketTest, ConnectAndAcceptOverLoopbackFillInBothEnds) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    EXPECT_NE(pair.listener->LocalPort, 0);  // the port the system chose
    EXPECT_EQ(pair.client->State, CSocketState::kConnected);
    EXPECT_EQ(pair.client->RemoteHost, "127.0.0.1");
    EXPECT_EQ(pair.client->RemotePort, pair.listener->LocalPort);
    EXPECT_EQ(pair.server->RemoteHost, "127.0.0.1");
    EXPECT_EQ(pair.server->RemotePort, pair.client->LocalPort);
    EXPECT_NE(pair.client->LocalPort, 0);
    EXPECT_TRUE(PumpUntil([&] { return pair.clientOwner.sendCompletes >= 1; }));
    // An accepted connection raises no Connect of its own.
    EXPECT_FALSE(pair.serverOwner.Saw("Connect"));
}

TEST_F(CSocketTest, ConnectingByNameGoesThroughTheLookup) {
    RecordingOwner listenerOwner;
    listenerOwner.acceptRequests = true;
    auto listener = MakeSocket(listenerOwner);
    listener->Listen();
    RecordingOwner owner;
    auto client = MakeSocket(owner);
    client->Connect("LocalHost", listener->LocalPort);
    EXPECT_TRUE(PumpUntil([&] { return owner.Saw("Connect"); }));
    EXPECT_EQ(Fake().lookups, 1);
}

TEST_F(CSocketTest, ARefusedConnectionIsReportedLaterWithItsText) {
    const std::int32_t port = ClosedPort();
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    socket->Connect("127.0.0.1", port);
    EXPECT_EQ(socket->State, CSocketState::kConnecting);
    ASSERT_TRUE(PumpUntil([&] { return !owner.events.empty(); }, 8000));
    EXPECT_EQ(owner.events, std::vector<std::string>{"Error 0 Connection refused."});
    ExpectClosed(*socket);
}

// A listener whose queue of waiting connections is full: further attempts get no answer.
struct SilentServer {
    int library = platform::SocketLibraryStartup();  // the bare sockets need it on Windows
    platform::SocketHandle listener = platform::OpenTcpSocket();
    platform::SocketHandle filler = platform::OpenTcpSocket();
    std::int32_t port = 0;

    SilentServer() {
        platform::BindSocket(listener, {Address("127.0.0.1"), 0});
        platform::ListenSocket(listener, 0);
        platform::Ipv4Endpoint local;
        platform::LocalEndpoint(listener, local);
        port = local.port;
        platform::ConnectSocket(filler, {Address("127.0.0.1"), local.port});
    }
    ~SilentServer() {
        platform::CloseSocket(filler);
        platform::CloseSocket(listener);
        if (library == 0) platform::SocketLibraryCleanup();
    }
};

TEST_F(CSocketTest, AConnectionThatGetsNoAnswerTimesOut) {
    SilentServer silent;
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    socket->TimeOut = 300;
    socket->Connect("127.0.0.1", silent.port);
    ASSERT_TRUE(PumpUntil([&] { return !owner.events.empty(); }, 3000));
    EXPECT_EQ(owner.events, std::vector<std::string>{"Error 0 Timeout"});
    ExpectClosed(*socket);
}

TEST_F(CSocketTest, WithoutATimeOutTheAttemptKeepsWaiting) {
    SilentServer silent;
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    socket->TimeOut = 0;
    socket->Connect("127.0.0.1", silent.port);
    // Longer than any time limit a connection attempt gets elsewhere in these tests.
    PumpFor(500);
    EXPECT_TRUE(owner.events.empty());
    EXPECT_EQ(socket->State, CSocketState::kConnecting);
}

void Notify(CSocket& socket, platform::MessageId message, std::uint32_t event, int error) {
    platform::SendMsg(socket.WindowHandle, message,
                      static_cast<platform::WParam>(socket.SocketHandle),
                      platform::MakeSelectLParam(event, error));
}

TEST_F(CSocketTest, AConnectNotificationWithAnErrorRaisesErrorZeroWithTheErrorText) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    Notify(*pair.client, SocketModule::kSocketMessage, 16, 10060);
    EXPECT_TRUE(pair.clientOwner.Saw("Error 0 Connection timed out."));
    ExpectClosed(*pair.client);
    // A number the table does not know gives an empty text.
    Notify(*pair.server, SocketModule::kSocketMessage, 16, 12345);
    EXPECT_TRUE(pair.serverOwner.Saw("Error 0 "));
}

TEST_F(CSocketTest, IgnoredNotificationsOnAConnectedSocket) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    const auto before = pair.clientOwner.events;
    platform::SendMsg(pair.client->WindowHandle, platform::kWmTimer,
                      static_cast<platform::WParam>(pair.client->SocketHandle), 0);
    Notify(*pair.client, SocketModule::kSocketMessage, 16, 0);  // a second completion
    Notify(*pair.client, SocketModule::kSocketMessage, 64, 0);  // no such event
    EXPECT_EQ(pair.clientOwner.events, before);
    EXPECT_EQ(pair.client->State, CSocketState::kConnected);
}

TEST_F(CSocketTest, BinaryDataArrivesInPiecesOfAtMost2000Bytes) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    std::string answer(4500, '\0');
    for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<char>(i % 251);
    pair.server->SendData(CSocket::ByteArray{answer});
    ASSERT_TRUE(PumpUntil([&] { return pair.clientOwner.received.size() == answer.size(); }));
    EXPECT_EQ(pair.clientOwner.received, answer);
    std::vector<std::size_t> sizes;
    for (const auto& piece : pair.clientOwner.pieces) sizes.push_back(piece.size());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{2000, 2000, 500}));
}

TEST_F(CSocketTest, LineModeCutsLinesAcrossPiecesAndLosesWhatFollowsANul) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    pair.client->LineSeparator = "\r\n";
    pair.client->WindowProc(CSocketEvent::kRead, "a\r\nb");
    EXPECT_EQ(pair.clientOwner.lines, std::vector<std::string>{"a"});
    pair.client->WindowProc(CSocketEvent::kRead, "c\r\n");
    EXPECT_EQ(pair.clientOwner.lines, (std::vector<std::string>{"a", "bc"}));
    pair.client->WindowProc(CSocketEvent::kRead, std::string_view("d\0e\r\n", 5));
    pair.client->WindowProc(CSocketEvent::kRead, "f\r\n\r\n");
    EXPECT_EQ(pair.clientOwner.lines, (std::vector<std::string>{"a", "bc", "df", ""}));
    EXPECT_TRUE(pair.clientOwner.pieces.empty());
}

TEST_F(CSocketTest, AHandlerThatClearsTheSeparatorEndsTheLineLoop) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    pair.client->LineSeparator = ";";
    pair.clientOwner.onLine = [](CSocket& s, const std::string&) { s.LineSeparator.clear(); };
    pair.client->WindowProc(CSocketEvent::kRead, "x;y;z;");
    EXPECT_EQ(pair.clientOwner.lines, std::vector<std::string>{"x"});
}

TEST_F(CSocketTest, WhatEachKindOfValueSends) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    pair.client->LineSeparator = "\r\n";
    EXPECT_EQ(pair.client->SendData("GET"), 0);
    pair.client->SendData(CSocket::ByteArray{std::string_view("\0\xff", 2)});
    pair.client->SendData(std::uint8_t{0x41});
    pair.client->SendDataAsCodeUnits("12");
    const std::string expected(
        "GET\r\n\0\xff"
        "A1\0"
        "2\0",
        12);
    ASSERT_TRUE(PumpUntil([&] { return pair.serverOwner.received.size() >= expected.size(); }));
    EXPECT_EQ(pair.serverOwner.received, expected);
}

TEST_F(CSocketTest, SendingOnAClosedSocketSendsNothing) {
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    EXPECT_EQ(socket->SendData("lost"), 0);
    EXPECT_TRUE(owner.events.empty());
    EXPECT_EQ(testing::Hooks().procedures,
              (std::vector<std::string>{"+CSocket_SendData", "-CSocket_SendData"}));
}

TEST_F(CSocketTest, DisconnectOnAClosedObjectOnlyResetsStateAndPort) {
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    socket->LocalPort = 1234;
    socket->RemoteHost = "10.0.0.1";
    socket->Disconnect();
    EXPECT_EQ(socket->State, CSocketState::kClosed);
    EXPECT_EQ(socket->LocalPort, 0);
    EXPECT_EQ(socket->RemoteHost, "10.0.0.1");
    EXPECT_TRUE(owner.events.empty());
}

TEST_F(CSocketTest, ReconnectingAnObjectThatHoldsASocketBindsNoLocalPort) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    // The listener's port is taken, so binding it would fail with error 5.
    pair.client->LocalPort = pair.listener->LocalPort;
    pair.client->Connect("127.0.0.1", pair.listener->LocalPort);
    EXPECT_FALSE(pair.clientOwner.Saw("Error 5 error on binding"));
    EXPECT_TRUE(PumpUntil([&] { return pair.listenerOwner.accepted.size() == 2; }));
    EXPECT_TRUE(PumpUntil([&] { return pair.client->State == CSocketState::kConnected; }));
}

TEST_F(CSocketTest, ThePeerClosingRaisesClosedAndThenClosesTheSocket) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    pair.clientOwner.onClosed = [](CSocket& s) {
        EXPECT_EQ(s.State, CSocketState::kConnected);  // still open inside the handler
    };
    pair.server->SendData("last words");
    pair.server->Cancel();
    ASSERT_TRUE(PumpUntil([&] { return pair.clientOwner.Saw("Closed"); }));
    EXPECT_EQ(pair.clientOwner.received, "last words");
    ExpectClosed(*pair.client);
    EXPECT_EQ(pair.client->RemoteHost, "127.0.0.1");  // kept after the close
}

// Winsock may announce the close while data is still unread: that data reaches the
// owner before Closed instead of going down with the socket.
TEST_F(CSocketTest, DataStillUnreadAtTheCloseNoticeArrivesBeforeClosed) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    std::string receivedAtClose = "(no Closed)";
    pair.clientOwner.onClosed = [&](CSocket&) { receivedAtClose = pair.clientOwner.received; };
    const std::string last(4500, 'w');
    pair.server->SendData(CSocket::ByteArray{last});
    pair.server->Cancel();
    const platform::SocketHandle handle = pair.client->SocketHandle;
    ASSERT_TRUE(PollUntil([&] {  // arrived, not read
        return platform::UnreadBytes(handle) == static_cast<int>(last.size());
    }));
    Notify(*pair.client, SocketModule::kSocketMessage, 32, 0);
    EXPECT_EQ(receivedAtClose.size(), last.size());
    EXPECT_TRUE(receivedAtClose == last);
    ExpectClosed(*pair.client);
}

TEST_F(CSocketTest, AConnectionStartedInsideTheClosedHandlerIsKept) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    const std::int32_t port = pair.listener->LocalPort;
    pair.clientOwner.onClosed = [port](CSocket& s) { s.Connect("127.0.0.1", port); };
    pair.server->Cancel();
    ASSERT_TRUE(PumpUntil([&] { return pair.clientOwner.Saw("Closed"); }));
    ASSERT_TRUE(PumpUntil([&] { return pair.client->State == CSocketState::kConnected; }));
    EXPECT_EQ(pair.listenerOwner.accepted.size(), 2u);
}

TEST_F(CSocketTest, AnAcceptedConnectionKeepsItsEventsAfterTheListenerIsGone) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    pair.listener->Cancel();
    pair.client->SendData("still here");
    ASSERT_TRUE(PumpUntil([&] { return pair.serverOwner.received == "still here"; }));
    pair.client->Cancel();
    EXPECT_TRUE(PumpUntil([&] { return pair.serverOwner.Saw("Closed"); }));
}

TEST_F(CSocketTest, AnOwnerMayCancelAndDropTheSocketInsideAHandler) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    pair.serverOwner.onData = [&](CSocket& s, const std::string&) {
        s.Cancel();
        pair.server.reset();
        pair.listenerOwner.accepted.clear();
    };
    pair.client->SendData(CSocket::ByteArray{std::string(6000, 'x')});
    ASSERT_TRUE(PumpUntil([&] { return !pair.serverOwner.pieces.empty(); }));
    EXPECT_TRUE(PumpUntil([&] { return pair.clientOwner.Saw("Closed"); }));
    EXPECT_EQ(pair.serverOwner.pieces.size(), 1u);  // the drain stopped with the socket
}

TEST_F(CSocketTest, OnlyCancelReleasesTheObject) {
    auto& live = testing::Hooks().liveObjects["CSocket"];
    const int before = live;
    RecordingOwner owner;
    std::weak_ptr<CSocket> watch;
    {
        auto socket = MakeSocket(owner);
        watch = socket;
        socket->Listen();
    }
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(live, before + 1);
    EXPECT_EQ(watch.lock()->State, CSocketState::kListening);
    watch.lock()->Cancel();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(live, before);
    EXPECT_TRUE(SocketModule::RegisteredSockets().empty());
}

TEST_F(CSocketTest, NotificationWindowsStartAndStopTheLibraryCount) {
    RecordingOwner owner;
    auto a = MakeSocket(owner);
    auto b = MakeSocket(owner);
    a->Listen();
    b->Listen();
    EXPECT_EQ(SocketModule::LibraryUserCount(), 2);
    a->Listen();  // again: the old window goes, a new one comes
    EXPECT_EQ(SocketModule::LibraryUserCount(), 2);
    a->Cancel();
    b->Disconnect();
    EXPECT_EQ(SocketModule::LibraryUserCount(), 0);
}

TEST_F(CSocketTest, ProceduresAndEventsAreBracketedForTheStatistics) {
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    socket->Connect("127.0.0.1", 65535);
    EXPECT_EQ(testing::Hooks().procedures,
              (std::vector<std::string>{"+CSocket_Connect", "+CSocket_Disconnect",
                                        "-CSocket_Disconnect", "+Event CSocket_Error",
                                        "-Event CSocket_Error", "-CSocket_Connect"}));
}

TEST_F(CSocketTest, LocalIpResolvesTheNameOfTheLocalAddress) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    EXPECT_EQ(pair.client->LocalIP(), "127.0.0.1");
    Fake().names.clear();  // the local address has no name
    EXPECT_EQ(pair.server->LocalIP(), "255.255.255.255");
}

TEST_F(CSocketTest, MyIpPrefersTheLastPublicAddressThenTheLastPrivateOne) {
    RecordingOwner owner;
    auto socket = MakeSocket(owner);
    Fake().localName = "box";
    Fake().addresses["box"] = {Address("127.0.0.1"), Address("8.8.8.8"), Address("10.1.1.1"),
                               Address("1.2.3.4"), Address("172.16.0.1")};
    EXPECT_EQ(socket->MyIP(), "1.2.3.4");
    Fake().addresses["box"] = {Address("192.168.0.7"), Address("172.31.9.9"), Address("127.0.0.1")};
    EXPECT_EQ(socket->MyIP(), "127.0.0.1");
    // 172.32 and 127.1 are outside the private ranges.
    Fake().addresses["box"] = {Address("172.32.0.1"), Address("10.0.0.1"), Address("127.1.0.1")};
    EXPECT_EQ(socket->MyIP(), "127.1.0.1");
    Fake().addresses.erase("box");
    EXPECT_EQ(socket->MyIP(), "");
    EXPECT_EQ(socket->myName(), "box");
    EXPECT_EQ(socket->WindowHandle, 0);
}

TEST_F(CSocketTest, NameQueriesLeaveTheWindowOfAnOpenSocketAlone) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    Fake().localName = "box";
    const platform::WindowHandle window = pair.client->WindowHandle;
    pair.client->myName();
    pair.client->MyIP();
    EXPECT_EQ(pair.client->WindowHandle, window);
    pair.server->SendData("after");
    EXPECT_TRUE(PumpUntil([&] { return pair.clientOwner.received == "after"; }));
}

}  // namespace
}  // namespace pelorin
