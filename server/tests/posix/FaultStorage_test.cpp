// Storage that fails under the server: a data folder that turns read-only, and a file
// size limit that stops a write (as a full disk would). Writing commands answer the
// error answer, nothing stored is lost or cut short, and reads go on being served.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "server/tests/posix/ServerProcess.h"
#include "server/tests/posix/StoreNames.h"

namespace pelorin::testing {
namespace {

namespace fs = std::filesystem;

std::string Request(std::string_view command, std::string_view target, std::string_view body = {}) {
    std::string request = std::string(command) + " " + std::string(target) + " HTTP/1.0\r\n";
    if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return request + "\r\n" + std::string(body);
}

// The error answer: 400 with "Fehler N: text".
::testing::AssertionResult IsErrorAnswer(const std::string& answer) {
    const std::string head = StoreAnswer("400 Bad Request");
    static const std::regex body("Fehler [1-9][0-9]*: [^\r\n]+");
    if (answer.starts_with(head) && std::regex_match(answer.substr(head.size()), body)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "not the error answer: " << answer.substr(0, 200);
}

std::vector<std::string> NamesIn(const std::string& folder) {
    return StoreNamesIn(folder);
}

// Root writes through any permission: then the server runs as a user of no privilege.
std::optional<uid_t> ServerUser() {
    if (geteuid() == 0) return kUnprivilegedUser;
    return std::nullopt;
}

TEST(ReadOnlyDataFolder, RefusesWritesAndGoesOnReading) {
    const std::optional<uid_t> user = ServerUser();
    ScratchFolder folder(user);
    ASSERT_FALSE(folder.path().empty());
    const std::string kept = PatternBytes(70000, 7);
    ASSERT_TRUE(WriteFile(folder.data() + "kept", kept));
    ASSERT_TRUE(fs::create_directory(folder.data() + "sub"));
    ASSERT_TRUE(WriteFile(folder.data() + "sub/inner", "inner"));
    if (user) {
        ASSERT_EQ(chown((folder.data() + "sub").c_str(), *user, static_cast<gid_t>(*user)), 0);
    }
    ServerProcess server;
    ASSERT_TRUE(server.Start(folder.path(), {.fileSizeBytes = std::nullopt, .user = user}));
    const std::uint16_t port = server.port();
    ASSERT_EQ(Exchange(port, Request("SET", "/kept", kept)), StoreAnswer("200 OK"));

    ASSERT_EQ(chmod(folder.data().c_str(), 0555), 0);
    ASSERT_EQ(chmod((folder.data() + "sub").c_str(), 0555), 0);
    EXPECT_TRUE(IsErrorAnswer(Exchange(port, Request("SET", "/kept", "new content"))));
    EXPECT_TRUE(IsErrorAnswer(Exchange(port, Request("SET", "/sub/inner", "new content"))));
    EXPECT_TRUE(IsErrorAnswer(Exchange(port, Request("NEW", "/fresh"))));
    EXPECT_TRUE(IsErrorAnswer(Exchange(port, Request("NEW", "/freshdir/"))));
    EXPECT_TRUE(IsErrorAnswer(Exchange(port, Request("DEL", "/kept"))));
    EXPECT_TRUE(IsErrorAnswer(Exchange(port, Request("DEL", "/sub/inner"))));

    EXPECT_TRUE(Exchange(port, Request("GET", "/kept")) == StoreAnswer("200 OK", kept));
    EXPECT_EQ(Exchange(port, Request("GET", "/sub/inner")), StoreAnswer("200 OK", "inner"));
    EXPECT_EQ(Exchange(port, Request("DIR", "/kept")), StoreAnswer("200 Found"));
    EXPECT_EQ(Exchange(port, Request("DIR", "/sub/")), StoreAnswer("200 OK", "inner\r\n"));
    EXPECT_EQ(NamesIn(folder.data()), (std::vector<std::string>{"kept", "sub"}));

    // Writable again: the same server stores again.
    ASSERT_EQ(chmod(folder.data().c_str(), 0755), 0);
    EXPECT_EQ(Exchange(port, Request("SET", "/kept", "new content")), StoreAnswer("200 OK"));
    EXPECT_EQ(Exchange(port, Request("GET", "/kept")), StoreAnswer("200 OK", "new content"));
    EXPECT_EQ(server.Stop(), 0);
}

// A write beyond the process's file size limit fails like a full disk. The system's
// default answer to it is a signal that ends the process; the server must live on and
// answer the error instead.
TEST(FileSizeLimit, KeepsTheOldContentAndAnswersTheError) {
    constexpr std::uint64_t kLimit = 1u << 20;
    ScratchFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::string old = PatternBytes(100000, 3);
    ASSERT_TRUE(WriteFile(folder.data() + "item", old));
    ServerProcess server;
    ASSERT_TRUE(server.Start(folder.path(), {.fileSizeBytes = kLimit, .user = std::nullopt}));
    const std::uint16_t port = server.port();

    for (const std::size_t size : {kLimit + 1, 3 * kLimit}) {
        const std::string answer = Exchange(port, Request("SET", "/item", PatternBytes(size, 4)));
        EXPECT_EQ(answer, StoreAnswer("400 Bad Request", "Fehler 61: Disk full")) << size;
        ASSERT_TRUE(server.Running());
        EXPECT_TRUE(Exchange(port, Request("GET", "/item")) == StoreAnswer("200 OK", old));
        EXPECT_EQ(NamesIn(folder.data()), std::vector<std::string>{"item"});  // no leftovers
    }
    // Within the limit it stores as before.
    const std::string fits = PatternBytes(kLimit, 5);
    EXPECT_EQ(Exchange(port, Request("SET", "/item", fits)), StoreAnswer("200 OK"));
    EXPECT_TRUE(Exchange(port, Request("GET", "/item")) == StoreAnswer("200 OK", fits));
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace pelorin::testing
