// The connection server's slots over real loopback connections: lowest free slot first,
// growth by one, trimming of free elements at the end, quiet stopping, and the events of
// each slot; then the facade's routing of events to the one listener of a slot.
#include "server/http/WinsockServer_Form.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/http/CSocket_Server.h"
#include "testing/RecordingHooks.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"

namespace pelorin {
namespace {

using testing::Hooks;
using testing::PumpFor;
using testing::PumpUntil;
using testing::TestPeer;

class FormRecorder : public WinsockServer_FormEvents {
  public:
    void Error(std::int32_t index, std::int16_t number, const std::string&) override {
        events.push_back("Error " + std::to_string(index) + " " + std::to_string(number));
    }
    void NewClient(std::int32_t index) override {
        events.push_back("NewClient " + std::to_string(index));
        lastNewClient = index;
    }
    void SendComplete(std::int32_t index) override {
        events.push_back("SendComplete " + std::to_string(index));
    }
    void DataArrival(std::int32_t index, const std::string& data) override {
        events.push_back("DataArrival " + std::to_string(index) + " " + data);
    }
    void Closed(std::int32_t index) override {
        events.push_back("Closed " + std::to_string(index));
        if (onClosed) onClosed(index);
    }

    std::vector<std::string> events;
    std::int32_t lastNewClient = 0;
    std::function<void(std::int32_t)> onClosed;
};

class FormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::ResetHooks();
        form->SetClass(&recorder);
        form->Listen(0);
        port = static_cast<std::uint16_t>(form->GetPort(0));
    }
    void TearDown() override { form->SetClass(nullptr); }

    // Connects a peer and returns the slot the form gave it.
    std::int32_t Connect() {
        const std::size_t before = recorder.events.size();
        peers.push_back(std::make_unique<TestPeer>(port));
        EXPECT_TRUE(PumpUntil([&] { return recorder.events.size() > before; }));
        return recorder.lastNewClient;
    }

    std::shared_ptr<WinsockServer_Form> form = WinsockServer_Form::Create();
    FormRecorder recorder;
    std::uint16_t port = 0;
    std::vector<std::unique_ptr<TestPeer>> peers;
};

TEST_F(FormTest, SlotsAreTakenLowestFirstAndTheArrayGrowsOnlyWhenAllAreBusy) {
    EXPECT_EQ(Hooks().logLines, std::vector<std::string>{"listen to port 0"});
    EXPECT_EQ(form->GetState(0), 2);
    EXPECT_EQ(form->UpperBound(), 0);
    EXPECT_EQ(Connect(), 1);
    EXPECT_EQ(Connect(), 2);
    EXPECT_EQ(Connect(), 3);
    EXPECT_EQ(form->GetState(2), 4);
    EXPECT_EQ(form->GetClientIP(2), "127.0.0.1");

    form->Disconnect(2);
    EXPECT_EQ(form->UpperBound(), 3);  // slot 3 is busy, so nothing is unloaded
    EXPECT_EQ(form->GetState(2), 1);
    ASSERT_TRUE(peers[1]->ReadUntilClosed());
    EXPECT_EQ(Connect(), 2);
    EXPECT_EQ(Connect(), 4);
    EXPECT_EQ(form->UpperBound(), 4);
    for (const auto& event : recorder.events)
        EXPECT_EQ(event.rfind("Closed", 0), std::string::npos);
}

TEST_F(FormTest, ClosingTheLastBusySlotUnloadsEveryFreeElementBelowIt) {
    for (int i = 0; i < 3; ++i) Connect();
    form->Disconnect(1);
    form->Disconnect(2);
    EXPECT_EQ(form->UpperBound(), 3);
    form->Disconnect(3);
    EXPECT_EQ(form->UpperBound(), 0);
    EXPECT_EQ(form->GetState(3), 0);  // no such element any more
    form->Disconnect(7);              // above the bound: nothing happens
    EXPECT_EQ(Connect(), 1);
}

TEST_F(FormTest, APeerCloseRaisesClosedAfterItsSlotWasFreed) {
    Connect();
    Connect();
    std::vector<std::int32_t> upperBoundSeen;
    std::vector<std::int32_t> stateSeen;
    recorder.onClosed = [&](std::int32_t index) {
        upperBoundSeen.push_back(form->UpperBound());
        stateSeen.push_back(form->GetState(index));
    };
    peers[0]->Close();
    ASSERT_TRUE(PumpUntil([&] { return upperBoundSeen.size() == 1; }));
    EXPECT_EQ(upperBoundSeen[0], 2);  // slot 2 is still busy
    EXPECT_EQ(stateSeen[0], 1);
    peers[1]->Close();
    ASSERT_TRUE(PumpUntil([&] { return upperBoundSeen.size() == 2; }));
    EXPECT_EQ(upperBoundSeen[1], 0);  // both free: trimmed away
    EXPECT_EQ(stateSeen[1], 0);
    EXPECT_EQ(recorder.events.back(), "Closed 2");
}

TEST_F(FormTest, CancelClosesEveryConnectionAndTheListenerWithoutEvents) {
    for (int i = 0; i < 3; ++i) Connect();
    const std::size_t before = recorder.events.size();
    form->Cancel();
    EXPECT_EQ(form->UpperBound(), 0);
    EXPECT_EQ(form->GetState(0), 1);
    for (auto& peer : peers) EXPECT_TRUE(peer->ReadUntilClosed());
    PumpFor(50);
    EXPECT_EQ(recorder.events.size(), before);
    EXPECT_EQ(Hooks().logLines.back(), "Server_Cancel");
    // The port is free again.
    auto again = WinsockServer_Form::Create();
    EXPECT_NO_THROW(again->Listen(port));
}

TEST_F(FormTest, DataAndCompletionsCarryTheirSlot) {
    Connect();
    Connect();
    ASSERT_TRUE(peers[1]->Send("hello"));
    ASSERT_TRUE(PumpUntil([&] { return recorder.events.back() == "DataArrival 2 hello"; }));
    form->SendData(2, "answer");
    ASSERT_TRUE(PumpUntil([&] { return recorder.events.back() == "SendComplete 2"; }));
    ASSERT_TRUE(peers[1]->ReadAtLeast(6));
    EXPECT_EQ(peers[1]->received(), "answer");
    // Nothing is sent on a free or unknown slot, and nothing fails.
    form->Disconnect(1);
    form->SendData(1, "lost");
    form->SendData(9, "lost");
    testing::DrainQueue();
    EXPECT_EQ(recorder.events.back(), "SendComplete 2");
}

// The facade: the owner hears every event; a slot's listener only that slot's.
class SlotRecorder : public CSocket_ServerEvents {
  public:
    void Error(CSocket_Server&, std::int32_t index, std::int16_t, const std::string&) override {
        events.push_back("Error " + std::to_string(index));
    }
    void NewClient(CSocket_Server&, std::int32_t index) override {
        events.push_back("NewClient " + std::to_string(index));
    }
    void SendComplete(CSocket_Server&, std::int32_t index) override {
        events.push_back("SendComplete " + std::to_string(index));
    }
    void DataArrival(CSocket_Server&, std::int32_t index, const std::string& data) override {
        events.push_back("DataArrival " + std::to_string(index) + " " + data);
    }
    void Closed(CSocket_Server&, std::int32_t index) override {
        events.push_back("Closed " + std::to_string(index));
    }
    std::vector<std::string> events;
};

TEST(CSocket_Server, EventsReachTheOwnerAndOnlyTheListenerOfTheirSlot) {
    testing::ResetHooks();
    auto server = CSocket_Server::Create();
    SlotRecorder owner;
    SlotRecorder first;
    SlotRecorder second;
    server->SetEvents(&owner);
    server->Listen(0);
    const auto port = static_cast<std::uint16_t>(server->GetPort(0));
    TestPeer a(port);
    ASSERT_TRUE(PumpUntil([&] { return owner.events.size() == 1; }));
    TestPeer b(port);
    ASSERT_TRUE(PumpUntil([&] { return owner.events.size() == 2; }));
    EXPECT_EQ(owner.events, (std::vector<std::string>{"NewClient 1", "NewClient 2"}));
    server->SetSlotEvents(1, &first);
    server->SetSlotEvents(2, &second);

    ASSERT_TRUE(b.Send("to two"));
    ASSERT_TRUE(PumpUntil([&] { return !second.events.empty(); }));
    a.Close();
    ASSERT_TRUE(PumpUntil([&] { return !first.events.empty(); }));
    EXPECT_EQ(first.events, std::vector<std::string>{"Closed 1"});
    EXPECT_EQ(second.events, std::vector<std::string>{"DataArrival 2 to two"});
    EXPECT_EQ(owner.events.back(), "Closed 1");
    EXPECT_EQ(server->SlotEvents(1), nullptr);  // its connection is gone

    // Closing everything raises nothing and forgets the listeners of the slots.
    server->Disconnect(0);
    EXPECT_EQ(server->SlotEvents(2), nullptr);
    EXPECT_EQ(server->GetState(0), 1);
    EXPECT_EQ(testing::Hooks().liveObjects["CSocket_Server"], 1);
    server.reset();
    EXPECT_EQ(testing::Hooks().liveObjects["CSocket_Server"], 0);
}

}  // namespace
}  // namespace pelorin
