// Folders whose names hold characters that Windows refuses in names: the store refuses
// them in the items below its data folder only, so a server whose files lie in such a
// folder makes its data folder, serves every command and writes its log.
#include <filesystem>

#include <gtest/gtest.h>

#include "server/tests/posix/ServerProcess.h"

namespace pelorin::testing {
namespace {

std::string Request(std::string_view command, std::string_view target, std::string_view body = {}) {
    std::string request = std::string(command) + " " + std::string(target) + " HTTP/1.0\r\n";
    if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return request + "\r\n" + std::string(body);
}

TEST(FolderNames, AProgramFolderMayHoldWhatItemNamesMayNot) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    // Trailing dots and spaces, which Windows drops from names, belong to it as well.
    const std::string folder = scratch.path() + "a:b*c?d<e>f\"g|h. /";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    ServerProcess server;
    ASSERT_TRUE(server.Start(folder, {}, {"/LOG2"}));
    const std::uint16_t port = server.port();

    EXPECT_EQ(Exchange(port, Request("NEW", "/sub/")), StoreAnswer("201 Created"));
    EXPECT_EQ(Exchange(port, Request("NEW", "/sub/a.txt")), StoreAnswer("201 Created"));
    EXPECT_EQ(Exchange(port, Request("SET", "/sub/a.txt", "hi")), StoreAnswer("200 OK"));
    EXPECT_EQ(Exchange(port, Request("GET", "/sub/atxt")), StoreAnswer("200 OK", "hi"));
    EXPECT_EQ(Exchange(port, Request("GET", "/SUB/ATXT")), StoreAnswer("200 OK", "hi"));
    EXPECT_EQ(Exchange(port, Request("DIR", "/sub/")), StoreAnswer("200 OK", "atxt\r\n"));
    EXPECT_EQ(Exchange(port, Request("DIR", "/sub/a*")), StoreAnswer("200 Found"));
    EXPECT_TRUE(Exchange(port, Request("NEW", "/sub/x:y"))
                    .starts_with(StoreAnswer("400 Bad Request", "Fehler 52: ")));
    EXPECT_EQ(Exchange(port, Request("DEL", "/sub/atxt")), StoreAnswer("200 OK"));
    EXPECT_EQ(Exchange(port, Request("DEL", "/sub/")), StoreAnswer("200 OK"));
    EXPECT_EQ(server.Stop(), 0);

    const std::optional<std::string> log = FileContents(folder + "log.txt");
    ASSERT_TRUE(log.has_value());
    EXPECT_NE(log->find("SET /sub/a.txt\r\n Content: hi\r\n file set\r\n"), std::string::npos)
        << *log;
    EXPECT_TRUE(log->ends_with("Unloading now...\r\nExit\r\n")) << *log;
}

// The folder named with /FOLDER= is the user's as well, and is made when missing.
TEST(FolderNames, TheFolderSwitchMayNameAnyFolder) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    // Spaces around a switch are dropped, so a named folder cannot end in one.
    const std::string files = scratch.path() + "a:b*c?d<e>f\"g|h.";
    ServerProcess server;
    ASSERT_TRUE(server.Start(scratch.path(), {}, {"/LOG2", "/FOLDER=" + files}));
    EXPECT_EQ(Exchange(server.port(), Request("NEW", "/a.txt")), StoreAnswer("201 Created"));
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_EQ(FileContents(files + "/data/atxt"), "");
    const std::optional<std::string> log = FileContents(files + "/log.txt");
    ASSERT_TRUE(log.has_value());
    EXPECT_NE(log->find("NEW /a.txt\r\n file created\r\n"), std::string::npos) << *log;
}

}  // namespace
}  // namespace pelorin::testing
