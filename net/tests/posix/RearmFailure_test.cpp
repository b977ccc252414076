// A socket whose epoll registration the system will not change can never be reported
// again: its owner has to hear that as a socket error instead of waiting for good.
#include <gtest/gtest.h>

#include "net/CSocket.h"
#include "net/tests/SocketTestSupport.h"
#include "testing/TestLoop.h"
#include "testing/posix/FailingRearm.h"

namespace pelorin {
namespace {

using testing::FailingRearm;
using testing::LoopbackPair;
using testing::PumpUntil;

class RearmFailureTest : public testing::SocketTest {};

TEST_F(RearmFailureTest, AConnectedSocketRaisesErrorAfterTheDataItGot) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    const FailingRearm failing(static_cast<int>(pair.client->SocketHandle));
    // The receive that takes this data re-enables the read event, which the system refuses.
    pair.server->SendData("abc");
    ASSERT_TRUE(PumpUntil([&] { return pair.client->State == CSocketState::kClosed; }));
    EXPECT_EQ(pair.clientOwner.received, "abc");
    EXPECT_EQ(pair.clientOwner.events.back(), "Error 0 No buffer space available.");
    EXPECT_EQ(pair.client->SocketHandle, 0);
}

}  // namespace
}  // namespace pelorin
