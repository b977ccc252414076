// Files far larger than anything the server holds at once, through the real program:
// GETs and SETs keep every byte while the program's peak resident memory stays far below
// the file's size; a body cut off or stopped halfway leaves the old content and no
// temporary file; a GET and a SET of the same file at the same time leave each other
// whole, whichever began first.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProgramRunner.h"
#include "ServerFixture.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Sockets.h"
#include "platform/TemporaryNames.h"
#include "testing/TempFolder.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"

namespace pelorin {
namespace {

using testing::Answer;
using testing::ProgramRunner;

// A memory checker runs every byte 20 to 50 times slower: there the files are smaller.
std::size_t FileSize() {
    return testing::TimeScale() > 1 ? 4u << 20 : 64u << 20;
}

// Resident memory tells nothing about the program under a memory checker or the
// sanitizers, which hold memory of their own for every byte it uses.
bool MemoryMeasured() {
    return testing::TimeScale() == 1 && !PELORIN_SANITIZED;
}

// `size` bytes that differ for each `seed` at every position, repeating every 65,521
// bytes (a prime), so that a mix of two contents, or a piece out of place, shows.
std::string Pattern(std::size_t size, unsigned seed) {
    constexpr std::size_t kCycle = 65521;
    std::string cycle(kCycle, '\0');
    for (std::size_t i = 0; i < kCycle; ++i) {
        cycle[i] = static_cast<char>((i * 7 + seed * 101) % 251);
    }
    std::string bytes;
    bytes.reserve(size + kCycle);
    while (bytes.size() < size) bytes += cycle;
    bytes.resize(size);
    return bytes;
}

// A blocking connection to the program. The program runs in a process of its own, so the
// test needs no message loop and takes the bytes as fast as they come. A call blocks
// until the program does its part; should it never, the fixture's watchdog stops the
// program, which ends every connection and so the call.
class Connection {
  public:
    explicit Connection(std::uint16_t port) {
        platform::SocketLibraryStartup();
        socket_ = platform::OpenTcpSocket();
        const platform::Ipv4Endpoint server{platform::ParseDottedAddress("127.0.0.1"), port};
        if (socket_ != platform::kInvalidSocket && platform::ConnectSocket(socket_, server) != 0) {
            Close();
        }
    }
    ~Connection() {
        Close();
        platform::SocketLibraryCleanup();
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Send(std::string_view bytes) {
        while (!bytes.empty() && socket_ != platform::kInvalidSocket) {
            const auto chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1u << 20));
            const int sent = platform::SendBytes(socket_, bytes.data(), chunk);
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return bytes.empty();
    }
    // Reads until at least `count` bytes came, or the connection ended (false then).
    bool ReadAtLeast(std::size_t count) {
        std::vector<char> buffer(1u << 16);
        while (received_.size() < count && socket_ != platform::kInvalidSocket) {
            const int got =
                platform::ReceiveBytes(socket_, buffer.data(), static_cast<int>(buffer.size()));
            if (got <= 0) break;
            received_.append(buffer.data(), static_cast<std::size_t>(got));
        }
        return received_.size() >= count;
    }
    // Everything until the program closed the connection.
    const std::string& ReadToEnd() {
        ReadAtLeast(std::string::npos);
        return received_;
    }
    void Close() {
        if (socket_ != platform::kInvalidSocket) platform::CloseSocket(socket_);
        socket_ = platform::kInvalidSocket;
    }
    bool connected() const { return socket_ != platform::kInvalidSocket; }

  private:
    platform::SocketHandle socket_ = platform::kInvalidSocket;
    std::string received_;
};

std::string SetHead(std::size_t bodySize) {
    return "SET /big HTTP/1.0\r\nContent-Length: " + std::to_string(bodySize) + "\r\n\r\n";
}

constexpr std::string_view kGet = "GET /big HTTP/1.0\r\n\r\n";

class LargeFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = testing::UnusedLoopbackPort();
        ASSERT_TRUE(program_.Start(platform::ProgramFolder() + PELORIN_PROGRAM_NAME, folder_.path(),
                                   "/PORT" + std::to_string(port_) + " /START"));
        ASSERT_TRUE(testing::PollUntil([&] { return Connection(port_).connected(); }));
        watchdog_ = std::thread([this] { StopProgramAfterLimit(); });
        old_ = Pattern(FileSize(), 1);
        ASSERT_EQ(platform::WriteWholeFile(Big(), old_), 0);
    }
    void TearDown() override {
        {
            std::lock_guard lock(mutex_);
            testDone_ = true;
        }
        done_.notify_all();
        if (watchdog_.joinable()) watchdog_.join();
        EXPECT_FALSE(stoppedByWatchdog_) << "the test took too long; the program was stopped";
        if (!program_.Wait(0)) {
            ASSERT_TRUE(program_.RequestStop());
            EXPECT_EQ(program_.Wait(10000), 0);
        }
    }

    // The time limit of every blocking call: stopping the program ends them all.
    void StopProgramAfterLimit() {
        std::unique_lock lock(mutex_);
        const auto limit = std::chrono::milliseconds(testing::ScaledMs(60000));
        if (done_.wait_for(lock, limit, [this] { return testDone_; })) return;
        stoppedByWatchdog_ = true;
        program_.RequestStop();
    }

    std::string Big() const { return folder_.path() + "data\\big"; }
    std::string Stored() const {
        std::string contents;
        platform::ReadWholeFile(Big(), contents);
        return contents;
    }
    // The temporary files of replacements, in the data folder's hidden folder.
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> names;
        platform::DirectorySearch search(folder_.path() + "data\\" +
                                         std::string(platform::kTemporaryFolderName) + "\\tmp-*");
        platform::FileEntry entry;
        while (search.Next(entry)) names.push_back(entry.name);
        return names;
    }

    // A SET whose first `sent` body bytes are on their way: its temporary file is there.
    void BeginSet(Connection& connection, std::string_view body, std::size_t sent) {
        ASSERT_TRUE(connection.Send(SetHead(body.size())));
        ASSERT_TRUE(connection.Send(body.substr(0, sent)));
        ASSERT_TRUE(testing::PollUntil([&] { return Temporaries().size() == 1; }));
    }
    std::string Get() {
        Connection connection(port_);
        connection.Send(kGet);
        return connection.ReadToEnd();
    }
    std::string Request(std::string_view request) {
        Connection connection(port_);
        connection.Send(request);
        return connection.ReadToEnd();
    }
    std::string Set(std::string_view body) {
        Connection connection(port_);
        connection.Send(SetHead(body.size()));
        connection.Send(body);
        return connection.ReadToEnd();
    }

    testing::TempFolder folder_;
    ProgramRunner program_;
    std::uint16_t port_ = 0;
    std::string old_;

  private:
    std::thread watchdog_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool testDone_ = false;
    std::atomic<bool> stoppedByWatchdog_{false};
};

TEST_F(LargeFiles, GetAndSetKeepEveryByteInLittleMemory) {
    const std::optional<std::uint64_t> before = program_.PeakResidentBytes();
    EXPECT_TRUE(Get() == Answer("200 OK", old_));
    const std::string fresh = Pattern(FileSize(), 2);
    EXPECT_EQ(Set(fresh), Answer("200 OK"));
    EXPECT_TRUE(Stored() == fresh);
    if (!MemoryMeasured()) return;
    const std::optional<std::uint64_t> after = program_.PeakResidentBytes();
    ASSERT_TRUE(before && after);
    EXPECT_LT(*after - *before, FileSize() / 8)
        << "peak resident memory grew from " << *before << " to " << *after << " bytes";
}

TEST_F(LargeFiles, ABodyCutOffOrStoppedHalfwayLeavesTheOldContentAndNoTemporaryFile) {
    const std::string fresh = Pattern(FileSize(), 3);
    {
        Connection hangsUp(port_);
        BeginSet(hangsUp, fresh, fresh.size() / 2);
    }
    ASSERT_TRUE(testing::PollUntil([&] { return Temporaries().empty(); }));
    EXPECT_TRUE(Stored() == old_);

    Connection stopped(port_);
    BeginSet(stopped, fresh, fresh.size() / 2);
    ASSERT_TRUE(program_.RequestStop());
    EXPECT_EQ(program_.Wait(10000), 0);
    EXPECT_TRUE(Temporaries().empty());
    EXPECT_TRUE(Stored() == old_);
}

TEST_F(LargeFiles, GetAndSetOfTheSameFileAtOnceLeaveEachOtherWhole) {
    // A GET under way (its socket full) sends the content it began with, while a SET
    // replaces the file meanwhile.
    const std::string fresh = Pattern(FileSize(), 4);
    Connection get(port_);
    ASSERT_TRUE(get.Send(kGet));
    ASSERT_TRUE(get.ReadAtLeast(1u << 20));
    EXPECT_EQ(Set(fresh), Answer("200 OK"));
    EXPECT_TRUE(get.ReadToEnd() == Answer("200 OK", old_)) << get.ReadToEnd().size();

    // A GET while a SET's body is on its way gets the content before it, and the SET
    // then completes.
    const std::string newer = Pattern(FileSize(), 5);
    Connection set(port_);
    BeginSet(set, newer, newer.size() / 2);
    EXPECT_TRUE(Get() == Answer("200 OK", fresh));
    ASSERT_TRUE(set.Send(std::string_view(newer).substr(newer.size() / 2)));
    EXPECT_EQ(set.ReadToEnd(), Answer("200 OK"));
    EXPECT_TRUE(Get() == Answer("200 OK", newer));
    EXPECT_TRUE(Temporaries().empty());
}

// Neither a SET nor a GET under way holds on to the name or the folder of its file: a DEL
// beside them takes the file at once (its name free for a new one), and the folder, which
// lists empty, as well. The SET then answers as for a folder that is not there.
TEST_F(LargeFiles, DeleteBesideASetOrAGetUnderWayTakesFileAndFolderAtOnce) {
    const std::string fresh = Pattern(FileSize(), 6);
    EXPECT_EQ(Request("NEW /a/ HTTP/1.0\r\n\r\n"), Answer("201 Created"));
    EXPECT_EQ(Request("NEW /a/big HTTP/1.0\r\n\r\n"), Answer("201 Created"));
    Connection set(port_);
    ASSERT_TRUE(set.Send("SET /a/big HTTP/1.0\r\nContent-Length: " + std::to_string(fresh.size()) +
                         "\r\n\r\n"));
    ASSERT_TRUE(set.Send(std::string_view(fresh).substr(0, fresh.size() / 2)));
    ASSERT_TRUE(testing::PollUntil([&] { return Temporaries().size() == 1; }));
    EXPECT_EQ(Request("DEL /a/big HTTP/1.0\r\n\r\n"), Answer("200 OK"));
    EXPECT_EQ(Request("DIR /a/ HTTP/1.0\r\n\r\n"), Answer("200 OK"));
    EXPECT_EQ(Request("DEL /a/ HTTP/1.0\r\n\r\n"), Answer("200 OK"));
    ASSERT_TRUE(set.Send(std::string_view(fresh).substr(fresh.size() / 2)));
    EXPECT_EQ(set.ReadToEnd(), Answer("404 Not Found"));
    EXPECT_TRUE(Temporaries().empty());

    // A GET whose socket is full still sends the file it began with.
    Connection get(port_);
    ASSERT_TRUE(get.Send(kGet));
    ASSERT_TRUE(get.ReadAtLeast(1u << 20));
    EXPECT_EQ(Request("DEL /big HTTP/1.0\r\n\r\n"), Answer("200 OK"));
    EXPECT_EQ(Request("DIR /big HTTP/1.0\r\n\r\n"), Answer("404 Not Found"));
    EXPECT_EQ(Request("DIR / HTTP/1.0\r\n\r\n"), Answer("200 OK"));
    EXPECT_EQ(Request("NEW /big HTTP/1.0\r\n\r\n"), Answer("201 Created"));
    EXPECT_TRUE(get.ReadToEnd() == Answer("200 OK", old_)) << get.ReadToEnd().size();
    EXPECT_EQ(Stored(), "");
}

}  // namespace
}  // namespace pelorin
