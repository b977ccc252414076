// A server killed outright (SIGKILL) while large SETs are on their way: every file keeps
// either its old or its new content, none is partial or missing, and no temporary file
// shows up as an item. The next server start removes the temporaries the dead one left.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/TemporaryNames.h"
#include "server/tests/posix/ServerProcess.h"
#include "server/tests/posix/StoreNames.h"
#include "testing/TestLoop.h"
#include "testing/TestSystem.h"

namespace pelorin::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 4;
constexpr int kRounds = 4;
constexpr int kSetsPerRound = 12;  // per connection; the kill comes long before

std::string FileName(int i) {
    return "file" + std::string(1, static_cast<char>('a' + i));
}

// A connection to the server on loopback, or -1.
int OpenConnection(std::uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s >= 0 && connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return s;
    if (s >= 0) close(s);
    return -1;
}

std::string SetRequest(const std::string& name, const std::string& body) {
    return "SET /" + name + " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

// What one connection's file may hold: what the server confirmed last, and what was on
// its way when the server died (it may or may not have landed).
struct FileHistory {
    std::string confirmed;
    std::string inFlight;
};

// The names a listing of the data folder would give: hidden names (the store's own
// temporaries) are not items.
std::vector<std::string> ItemNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != platform::kTemporaryFolderName) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> AllNames(const std::string& folder) {
    return StoreNamesIn(folder);
}

std::vector<std::string> ListingNames(const std::string& answer) {
    const std::string head = StoreAnswer("200 OK");
    std::vector<std::string> names;
    if (!answer.starts_with(head)) return {"<not a listing: " + answer.substr(0, 60) + ">"};
    std::size_t pos = head.size();
    while (pos < answer.size()) {
        const std::size_t end = answer.find("\r\n", pos);
        if (end == std::string::npos) return {"<unterminated line>"};
        names.push_back(answer.substr(pos, end - pos));
        pos = end + 2;
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ServerKilledDuringSets, LeavesEveryFileOldOrNew) {
    ScratchFolder folder;
    ASSERT_FALSE(folder.path().empty());
    std::vector<FileHistory> files(kFiles);
    std::vector<std::string> expectedNames;
    for (int i = 0; i < kFiles; ++i) {
        files[static_cast<std::size_t>(i)].confirmed = PatternBytes(
            (2u << 20) + static_cast<std::size_t>(i) * 4099, 1000u + static_cast<unsigned>(i));
        ASSERT_TRUE(
            WriteFile(folder.data() + FileName(i), files[static_cast<std::size_t>(i)].confirmed));
        expectedNames.push_back(FileName(i));
    }
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);

    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ServerProcess server;
        ASSERT_TRUE(server.Start(folder.path()));
        std::atomic<bool> killed{false};
        std::vector<std::thread> writers;
        for (int i = 0; i < kFiles; ++i) {
            writers.emplace_back([&, i] {
                FileHistory& history = files[static_cast<std::size_t>(i)];
                for (int n = 0; n < kSetsPerRound && !killed; ++n) {
                    // Sizes differ from set to set, so a cut-off file shows by its size too.
                    const auto seedOfSet = static_cast<unsigned>(round * 1000 + i * 100 + n);
                    history.inFlight = PatternBytes((3u << 20) + seedOfSet * 7, seedOfSet);
                    const std::string answer =
                        Exchange(server.port(), SetRequest(FileName(i), history.inFlight));
                    if (answer != StoreAnswer("200 OK")) break;  // the server is gone
                    history.confirmed = std::move(history.inFlight);
                    history.inFlight.clear();
                }
            });
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 250)(random)));
        server.Kill(SIGKILL);
        killed = true;
        for (auto& w : writers) w.join();

        // On disk, right after the kill.
        EXPECT_EQ(ItemNames(folder.data()), expectedNames);
        for (int i = 0; i < kFiles; ++i) {
            FileHistory& history = files[static_cast<std::size_t>(i)];
            const auto onDisk = FileContents(folder.data() + FileName(i));
            ASSERT_TRUE(onDisk.has_value()) << FileName(i) << " is missing";
            const bool old = *onDisk == history.confirmed;
            const bool fresh = !history.inFlight.empty() && *onDisk == history.inFlight;
            EXPECT_TRUE(old || fresh) << FileName(i) << " holds " << onDisk->size() << " bytes";
            if (fresh) history.confirmed = std::move(history.inFlight);
            history.inFlight.clear();
        }
    }

    // A server started on the same folder lists the files and nothing else, serves them
    // whole, and has removed the dead servers' temporaries.
    ServerProcess restarted;
    ASSERT_TRUE(restarted.Start(folder.path()));
    EXPECT_EQ(AllNames(folder.data()), expectedNames);
    EXPECT_EQ(ListingNames(Exchange(restarted.port(), "DIR / HTTP/1.0\r\n\r\n")), expectedNames);
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_TRUE(Exchange(restarted.port(), "GET /" + FileName(i) + " HTTP/1.0\r\n\r\n") ==
                    StoreAnswer("200 OK", files[static_cast<std::size_t>(i)].confirmed))
            << FileName(i);
    }
    EXPECT_EQ(restarted.Stop(), 0);
}

// Killed in the middle of a GET, the server cannot end the connection itself; the system
// does, and its reader must see a reset there too, never an orderly end that would pass
// the part it got off as the whole file.
TEST(ServerKilledDuringAGet, ItsReaderSeesAReset) {
    ScratchFolder folder;
    ASSERT_FALSE(folder.path().empty());
    ASSERT_TRUE(MakeSparseFile(folder.data() + "big", 64u << 20));
    ServerProcess server;
    ASSERT_TRUE(server.Start(folder.path()));
    const int reader = OpenConnection(server.port());
    ASSERT_GE(reader, 0);
    const timeval limit{static_cast<time_t>(ScaledMs(10000) / 1000), 0};
    setsockopt(reader, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const std::string request = "GET /big HTTP/1.0\r\n\r\n";
    ASSERT_EQ(send(reader, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    // A few bytes, and no more read until the server is gone.
    char buffer[65536];
    ASSERT_GT(recv(reader, buffer, 1000, MSG_WAITALL), 0);
    server.Kill(SIGKILL);
    std::size_t received = 0;
    ssize_t n = 0;
    while ((n = recv(reader, buffer, sizeof buffer, 0)) > 0)
        received += static_cast<std::size_t>(n);
    const int error = errno;
    close(reader);
    EXPECT_LT(n, 0) << "an orderly end after " << received << " more bytes";
    EXPECT_EQ(error, ECONNRESET);
}

// Only temporaries of processes that ended go; those of a running process (another
// server on the same folder) and files that merely look alike stay.
TEST(ServerStart, RemovesOnlyTemporariesOfEndedProcesses) {
    ScratchFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    waitpid(ended, nullptr, 0);
    const std::string prefix(platform::kTemporaryFilePrefix);
    const std::string stale = prefix + std::to_string(ended) + "-3";
    const std::string live = prefix + std::to_string(getpid()) + "-1";
    const std::vector<std::string> kept = {".notes", live, prefix + "notes",
                                           prefix + std::to_string(ended) + "-x", "item"};
    ASSERT_TRUE(fs::create_directories(folder.data() + "sub/deeper"));
    for (const std::string& where : {std::string(), std::string("sub/deeper/")}) {
        ASSERT_TRUE(WriteFile(folder.data() + where + stale, "half"));
        for (const auto& name : kept) ASSERT_TRUE(WriteFile(folder.data() + where + name, "x"));
    }
    ServerProcess server;
    ASSERT_TRUE(server.Start(folder.path()));
    std::vector<std::string> expected = kept;
    expected.push_back("sub");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(AllNames(folder.data()), expected);
    std::erase(expected, "sub");
    EXPECT_EQ(AllNames(folder.data() + "sub/deeper"), expected);
}

// In a container the server is process 1 at every start. Killed during a SET, it leaves
// the body's temporary file; the next start, again process 1, removes it and stores as
// before.
TEST(ServerStart, AsTheSameProcessNumberAgainRemovesWhatTheEarlierStartLeft) {
    if (std::system("unshare --pid --fork --kill-child true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no PID namespace of its own here (unshare refused): needs root";
    }
    ScratchFolder folder;
    ASSERT_FALSE(folder.path().empty());
    ASSERT_TRUE(WriteFile(folder.data() + "item", "old"));
    ServerLimits asFirst;
    asFirst.firstProcess = true;
    {
        ServerProcess killed;
        ASSERT_TRUE(killed.Start(folder.path(), asFirst));
        const int peer = OpenConnection(killed.port());
        ASSERT_GE(peer, 0);
        const std::string head = "SET /item HTTP/1.0\r\nContent-Length: 1000\r\n\r\nhalf";
        ASSERT_EQ(send(peer, head.data(), head.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(head.size()));
        EXPECT_TRUE(PollUntil([&] { return AllNames(folder.data()).size() == 2; }));
        killed.Kill(SIGKILL);
        close(peer);
    }
    EXPECT_EQ(AllNames(folder.data()).size(), 2u);  // "item" and the temporary
    // Its lock goes with the last of the killed process.
    const std::string lockPath = folder.data() + std::string(platform::kTemporaryFolderName) + "/" +
                                 std::string(platform::kTemporaryLockName);
    const int lock = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    EXPECT_TRUE(PollUntil([&] { return flock(lock, LOCK_EX | LOCK_NB) == 0; }));
    close(lock);

    ServerProcess restarted;
    ASSERT_TRUE(restarted.Start(folder.path(), asFirst));
    EXPECT_EQ(AllNames(folder.data()), std::vector<std::string>{"item"});
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Exchange(restarted.port(), SetRequest("item", "new")), StoreAnswer("200 OK"));
    }
    EXPECT_EQ(Exchange(restarted.port(), "GET /item HTTP/1.0\r\n\r\n"),
              StoreAnswer("200 OK", "new"));
    EXPECT_EQ(AllNames(folder.data()), std::vector<std::string>{"item"});
}

}  // namespace
}  // namespace pelorin::testing
