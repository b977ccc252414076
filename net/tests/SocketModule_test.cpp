// The socket module: error texts, the parts of a notification, name resolution through
// the cache (with lookups kept on the machine), address helpers, and the dispatcher's
// rules for finding an object and for messages it does not handle.
#include "net/SocketModule.h"

#include <gtest/gtest.h>

#include "net/ADomainCache.h"
#include "net/CSocket.h"
#include "net/tests/SocketTestSupport.h"
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/Window.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using testing::Address;
using testing::Fake;

class SocketModuleTest : public testing::SocketTest {};

TEST(SocketErrorTextTest, ListedNumbersHaveTheirTextsOthersNone) {
    EXPECT_EQ(SocketModule::SocketErrorText(10061), "Connection refused.");
    EXPECT_EQ(SocketModule::SocketErrorText(10054), "Connection reset by peer.");
    EXPECT_EQ(SocketModule::SocketErrorText(10060), "Connection timed out.");
    EXPECT_EQ(SocketModule::SocketErrorText(10004), "Interrupted system call.");
    EXPECT_EQ(SocketModule::SocketErrorText(10093), "Winsock not Initized.");
    EXPECT_EQ(SocketModule::SocketErrorText(10101), "Disconnect.");
    EXPECT_EQ(SocketModule::SocketErrorText(11004),
              "Valid name, no data record of requested type.");
    // Gaps in the numbering and the neighbours of the table have no text.
    for (int number : {0, 10000, 10003, 10005, 10072, 10090, 10100, 10102, 11000, 11005, -1}) {
        EXPECT_EQ(SocketModule::SocketErrorText(number), "") << number;
    }
}

// The server's listening control keeps the wording of the control it stands in for, which
// the server's log shows, and names the numbers it has no text for.
TEST(SelectPartsTest, EventAndErrorAreSigned16BitHalves) {
    const platform::LParam l = platform::MakeSelectLParam(16, 10060);
    EXPECT_EQ(SocketModule::SelectEvent(l), 16);
    EXPECT_EQ(SocketModule::SelectError(l), 10060);
    const platform::LParam high = platform::MakeSelectLParam(0xFFFF, 0x8001);
    EXPECT_EQ(SocketModule::SelectEvent(high), -1);
    EXPECT_EQ(SocketModule::SelectError(high), -32767);
}

TEST_F(SocketModuleTest, DottedAddressesBypassCacheAndLookup) {
    EXPECT_EQ(SocketModule::ResolveHost("127.0.0.1"), Address("127.0.0.1"));
    EXPECT_EQ(Fake().lookups, 0);
    EXPECT_TRUE(SocketModule::DomainCache().Entries().empty());
}

TEST_F(SocketModuleTest, ANameIsLookedUpOnceThenAnsweredFromTheCacheInAnyCase) {
    Fake().addresses["store.example"] = {Address("10.1.2.3"), Address("10.1.2.4")};
    EXPECT_EQ(SocketModule::ResolveHost("Store.Example"), Address("10.1.2.3"));
    EXPECT_EQ(Fake().lookups, 1);
    ASSERT_EQ(SocketModule::DomainCache().Entries().size(), 1u);
    EXPECT_EQ(SocketModule::DomainCache().Entries()[0].name, "store.example");
    EXPECT_EQ(SocketModule::ResolveHost("STORE.EXAMPLE"), Address("10.1.2.3"));
    EXPECT_EQ(Fake().lookups, 1);
}

std::uint32_t gNow = 0;
std::uint32_t FakeClock() {
    return gNow;
}

TEST_F(SocketModuleTest, AnExpiredNameGoesToTheSystemAgain) {
    gNow = 5;
    platform::SetTickSourceForTests(FakeClock);
    Fake().addresses["host"] = {Address("10.0.0.1")};
    SocketModule::ResolveHost("host");
    gNow += ADomainCache::kLifetimeMs;
    SocketModule::ResolveHost("host");
    EXPECT_EQ(Fake().lookups, 1);
    gNow += 1;
    Fake().addresses["host"] = {Address("10.0.0.2")};
    EXPECT_EQ(SocketModule::ResolveHost("host"), Address("10.0.0.2"));
    EXPECT_EQ(Fake().lookups, 2);
}

TEST_F(SocketModuleTest, AnUnknownNameGivesNoAddressAndIsNotCached) {
    EXPECT_EQ(SocketModule::ResolveHost("no-such-host.invalid"), platform::kNoAddress);
    EXPECT_TRUE(SocketModule::DomainCache().Entries().empty());
    EXPECT_EQ(SocketModule::ResolveHostText("no-such-host.invalid"), "255.255.255.255");
    EXPECT_EQ(SocketModule::ResolveHost(""), platform::kNoAddress);
}

TEST_F(SocketModuleTest, HostAddressAtWalksTheHostsAddresses) {
    Fake().addresses["multi"] = {Address("192.168.1.5"), Address("8.8.4.4")};
    EXPECT_EQ(SocketModule::HostAddressAt("multi", 0), "192.168.1.5");
    EXPECT_EQ(SocketModule::HostAddressAt("multi", 1), "8.8.4.4");
    EXPECT_EQ(SocketModule::HostAddressAt("multi", 2), "");
    EXPECT_EQ(SocketModule::HostAddressAt("multi", -1), "");
    EXPECT_EQ(SocketModule::HostAddressAt("unknown", 0), "");
}

TEST_F(SocketModuleTest, LocalHostNameIsTrimmedAndEmptyWhenUnknown) {
    Fake().localName = "  box 1  ";
    EXPECT_EQ(SocketModule::LocalHostName(), "box 1");
    Fake().localName = "";
    EXPECT_EQ(SocketModule::LocalHostName(), "");
}

TEST_F(SocketModuleTest, AddressHelpersOnANonSocketGiveTheirEmptyAnswers) {
    EXPECT_EQ(SocketModule::PeerAddressText(987654), "0.0.0.0");
    EXPECT_EQ(SocketModule::PeerPort(987654), 0);
    EXPECT_EQ(SocketModule::LocalPortOf(987654), 0);
    EXPECT_EQ(SocketModule::IpToText(Address("1.2.3.4")), "1.2.3.4");
}

TEST(SystemLookupTest, LocalhostResolvesToLoopback) {
    SocketModule::ResetForTests();
    // Lookups run while a socket is open, which has the socket library started.
    auto socket = CSocket::Create();
    socket->Listen();
    EXPECT_EQ(SocketModule::ResolveHostText("localhost"), "127.0.0.1");
    EXPECT_EQ(SocketModule::ResolveHostText("127.0.0.1"), "127.0.0.1");
    SocketModule::ResetForTests();
}

// A window procedure that stands in for the one the notification window had before.
int gPreviousCalls = 0;
platform::LResult Previous(platform::WindowHandle, platform::MessageId, platform::WParam,
                           platform::LParam) {
    ++gPreviousCalls;
    return 77;
}

TEST_F(SocketModuleTest, OtherMessagesReachThePreviousProcedureOnlyForARegisteredSocket) {
    testing::LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    gPreviousCalls = 0;
    auto& socket = *pair.client;
    const platform::WindowProc saved = socket.WindowProcOld;
    socket.WindowProcOld = Previous;
    const auto handle = static_cast<platform::WParam>(socket.SocketHandle);
    const platform::WindowHandle window = socket.WindowHandle;
    EXPECT_EQ(platform::SendMsg(window, platform::kWmUser + 5, handle, 0), 77);
    EXPECT_EQ(platform::SendMsg(window, platform::kWmUser + 5, handle + 1000, 0), 0);
    EXPECT_EQ(platform::SendMsg(window, platform::kWmUser + 5, 0, 0), 0);
    EXPECT_EQ(gPreviousCalls, 1);
    socket.WindowProcOld = saved;
}

TEST_F(SocketModuleTest, NotificationsForUnknownSocketsAreDropped) {
    testing::LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    const auto before = pair.clientOwner.events.size();
    platform::SendMsg(pair.client->WindowHandle, SocketModule::kSocketMessage, 424242,
                      platform::MakeSelectLParam(32, 0));
    platform::SendMsg(pair.client->WindowHandle, SocketModule::kSocketMessage, 0,
                      platform::MakeSelectLParam(32, 0));
    EXPECT_EQ(pair.clientOwner.events.size(), before);
    EXPECT_EQ(pair.client->State, CSocketState::kConnected);
}

TEST_F(SocketModuleTest, WhenTwoObjectsHoldTheSameHandleTheLastRegisteredGetsTheEvent) {
    testing::LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    testing::RecordingOwner otherOwner;
    auto other = CSocket::Create();
    other->SetEvents(&otherOwner);
    other->SocketHandle = pair.client->SocketHandle;  // a stale copy, as after a mix-up
    platform::SendMsg(pair.client->WindowHandle, SocketModule::kSocketMessage,
                      static_cast<platform::WParam>(pair.client->SocketHandle),
                      platform::MakeSelectLParam(8, 0));
    EXPECT_TRUE(otherOwner.Saw("ConnectionRequest"));
    EXPECT_FALSE(pair.clientOwner.Saw("ConnectionRequest"));
    other->SocketHandle = 0;
}

TEST_F(SocketModuleTest, AnErrorInAnOwnersHandlerDoesNotEscapeTheDispatcher) {
    testing::LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    pair.serverOwner.onData = [](CSocket&, const std::string&) {
        throw std::runtime_error("handler failed");
    };
    pair.client->SendData("x");
    EXPECT_TRUE(testing::PumpUntil([&] { return !pair.serverOwner.pieces.empty(); }));
    EXPECT_EQ(pair.server->State, CSocketState::kConnected);
}

}  // namespace
}  // namespace pelorin
