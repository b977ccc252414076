#include "net/tests/SocketTestSupport.h"

#include <algorithm>

#include "base/Text.h"
#include "net/SocketModule.h"
#include "net/SslLibrary.h"
#include "testing/RecordingHooks.h"
#include "platform/Clock.h"
#include "platform/Sockets.h"
#include "testing/TestLoop.h"

namespace pelorin::testing {

void RecordingOwner::Connect(CSocket& sender) {
    events.emplace_back("Connect");
    if (onConnect) onConnect(sender);
}

void RecordingOwner::Closed(CSocket& sender) {
    events.emplace_back("Closed");
    if (onClosed) onClosed(sender);
}

void RecordingOwner::SendComplete(CSocket& sender) {
    ++sendCompletes;
    if (onSendComplete) onSendComplete(sender);
}

void RecordingOwner::DataArrival(CSocket& sender, const std::string& data, const std::string&) {
    pieces.push_back(data);
    received += data;
    if (onData) onData(sender, data);
}

void RecordingOwner::LineDataArrival(CSocket& sender, const std::string& line, const std::string&) {
    lines.push_back(line);
    if (onLine) onLine(sender, line);
}

void RecordingOwner::Error(CSocket& sender, std::int32_t number, const std::string& text) {
    events.push_back("Error " + std::to_string(number) + " " + text);
    if (onError) onError(sender, number);
}

void RecordingOwner::ConnectionRequest(CSocket& sender) {
    events.emplace_back("ConnectionRequest");
    if (!acceptRequests) return;
    auto connection = CSocket::Create();
    connection->Accept(sender);
    accepted.push_back(connection);
}

bool RecordingOwner::Saw(const std::string& event) const {
    return std::find(events.begin(), events.end(), event) != events.end();
}

namespace {

bool FakeHostAddresses(std::string_view name, std::vector<std::uint32_t>& out) {
    ++Fake().lookups;
    out.clear();
    auto it = Fake().addresses.find(LowerCase(name));  // as the system, in any case
    if (it == Fake().addresses.end()) return false;
    out = it->second;
    return !out.empty();
}

bool FakeAddressName(std::uint32_t address, std::string& name) {
    auto it = Fake().names.find(address);
    if (it == Fake().names.end()) return false;
    name = it->second;
    return true;
}

bool FakeLocalHostName(std::string& name) {
    name = Fake().localName;
    return !name.empty();
}

}  // namespace

FakeHosts& Fake() {
    thread_local FakeHosts hosts;
    return hosts;
}

void SocketTest::SetUp() {
    ResetHooks();
    Fake() = FakeHosts{};
    Fake().addresses["localhost"] = {Address("127.0.0.1")};
    Fake().names[Address("127.0.0.1")] = "localhost";
    SocketModule::SetNameServicesForTests({FakeHostAddresses, FakeAddressName, FakeLocalHostName});
}

void SocketTest::TearDown() {
    SocketModule::ResetForTests();
    SslLibrary::SetLibraryNameForTests("");
    platform::SetTickSourceForTests(nullptr);
    DrainQueue();
    EXPECT_EQ(SocketModule::LibraryUserCount(), 0);
}

std::uint32_t Address(const char* dotted) {
    return platform::ParseDottedAddress(dotted);
}

bool LoopbackPair::Open() {
    listener = CSocket::Create();
    listener->SetEvents(&listenerOwner);
    listenerOwner.acceptRequests = true;
    listener->Listen();
    EXPECT_EQ(listener->State, CSocketState::kListening);
    if (listener->State != CSocketState::kListening) return false;
    client = CSocket::Create();
    client->SetEvents(&clientOwner);
    client->Connect("127.0.0.1", listener->LocalPort);
    const bool done =
        PumpUntil([&] { return clientOwner.Saw("Connect") && !listenerOwner.accepted.empty(); });
    EXPECT_TRUE(done) << "no connection over loopback";
    if (!done) return false;
    server = listenerOwner.accepted.front();
    server->SetEvents(&serverOwner);
    return server->State == CSocketState::kConnected;
}

}  // namespace pelorin::testing
