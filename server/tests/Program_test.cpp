// The server program as its user meets it: started with switches, worked through its
// window (the terminal on Linux), serving requests, stopped and closed, with its exit
// status and its log.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ProgramRunner.h"
#include "ServerFixture.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Sockets.h"
#include "testing/TempFolder.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"

namespace pelorin {
namespace {

using testing::Answer;
using testing::Exchange;
using testing::ProgramRunner;
using testing::TestPeer;
using Lines = std::vector<std::string>;

class ServerProgram : public ::testing::Test {
  protected:
    std::string ProgramFile() const { return platform::ProgramFolder() + PELORIN_PROGRAM_NAME; }
    std::string Folder() const { return folder_.path(); }

    bool WaitCaption(ProgramRunner& program, const std::string& caption) {
        return testing::PollUntil([&] { return program.ButtonCaption() == caption; });
    }
    static bool Listening(std::uint16_t port) { return TestPeer(port).connected(); }

    Lines Log() const {
        std::string text;
        platform::ReadWholeFile(Folder() + "log.txt", text);
        Lines lines;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) break;
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    testing::TempFolder folder_;
};

TEST_F(ServerProgram, WindowStartsServesStopsAndCloses) {
    ProgramRunner program;
    ASSERT_TRUE(program.Start(ProgramFile(), Folder(), "/log2"));
    EXPECT_EQ(program.ButtonCaption(), "start server");
    const std::uint16_t port = testing::UnusedLoopbackPort();
    ASSERT_TRUE(program.TypePort(std::to_string(port)));
    ASSERT_TRUE(program.PressButton());
    ASSERT_TRUE(WaitCaption(program, "stopp server"));

    EXPECT_EQ(Exchange(port, "NEW /a.txt HTTP/1.0\r\n\r\n"), Answer("201 Created"));
    EXPECT_EQ(Exchange(port, "SET /a.txt HTTP/1.0\r\nContent-Length: 2\r\n\r\nhi"),
              Answer("200 OK"));
    EXPECT_EQ(Exchange(port, "GET /atxt HTTP/1.0\r\n\r\n"), Answer("200 OK", "hi"));
    EXPECT_EQ(Exchange(port, "DIR / HTTP/1.0\r\n\r\n"), Answer("200 OK", "atxt\r\n"));
    std::string stored;
    EXPECT_EQ(platform::ReadWholeFile(Folder() + "data\\atxt", stored), 0);
    EXPECT_EQ(stored, "hi");

    ASSERT_TRUE(program.PressButton());
    ASSERT_TRUE(WaitCaption(program, "start server"));
    EXPECT_FALSE(Listening(port));

    ASSERT_TRUE(program.CloseWindow());
    EXPECT_EQ(program.Wait(10000), 0);
    const Lines log = Log();
    const Lines start = {"Programmstart",
                         "LoadStandard",
                         "loading MainForm ...",
                         "loading ready",
                         "ready to show me",
                         "Start-Prozess ready",
                         "listen to port " + std::to_string(port)};
    ASSERT_GE(log.size(), start.size() + 3);
    EXPECT_EQ(Lines(log.begin(), log.begin() + static_cast<long>(start.size())), start);
    EXPECT_EQ(Lines(log.end() - 3, log.end()),
              (Lines{"Server_Cancel", "Unloading now...", "Exit"}));
}

TEST_F(ServerProgram, SwitchesStartItAndAStopRequestEndsIt) {
    const std::uint16_t port = testing::UnusedLoopbackPort();
    ProgramRunner program;
    // The debug window, too, goes with the program. Words that only begin like the help
    // and version switches are unknown ones: the program starts all the same.
    const std::string switches =
        "-LOG3 /debug /Helpdesk version2 /port" + std::to_string(port) + " \\Start";
    ASSERT_TRUE(program.Start(ProgramFile(), Folder(), switches));
    ASSERT_TRUE(testing::PollUntil([&] { return Listening(port); }));
    TestPeer open(port);  // still open when the program goes
    EXPECT_EQ(Exchange(port, "DIR /x HTTP/1.0\r\n\r\n"), Answer("404 Not Found"));
    ASSERT_TRUE(program.RequestStop());
    EXPECT_EQ(program.Wait(10000), 0);
    EXPECT_TRUE(open.ReadUntilClosed());
    const Lines log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"Unloading now...", "Exit"}));
}

// The program's files go to the folder the switch names, made when missing; a quoted
// folder keeps its spaces. Nothing is written next to the program.
TEST_F(ServerProgram, FolderSwitchMovesDataLogAndDiagnosticFiles) {
    const std::string files = Folder() + "files here";
    const std::uint16_t port = testing::UnusedLoopbackPort();
    ProgramRunner program;
    ASSERT_TRUE(program.Start(
        ProgramFile(), Folder(),
        "/LOG2 /DEBUGFILE /PORT" + std::to_string(port) + " /START \"/FOLDER=" + files + "\""));
    ASSERT_TRUE(testing::PollUntil([&] { return Listening(port); }));
    EXPECT_EQ(Exchange(port, "NEW /a.txt HTTP/1.0\r\n\r\n"), Answer("201 Created"));
    ASSERT_TRUE(program.CloseWindow());
    EXPECT_EQ(program.Wait(10000), 0);

    std::string text;
    EXPECT_EQ(platform::ReadWholeFile(files + "\\data\\atxt", text), 0);
    EXPECT_EQ(platform::ReadWholeFile(files + "\\debugfile.prozesse", text), 0);
    EXPECT_EQ(platform::ReadWholeFile(files + "\\log.txt", text), 0);
    EXPECT_TRUE(text.ends_with("Unloading now...\r\nExit\r\n")) << text;
    for (const char* beside : {"data", "log.txt", "debugfile.prozesse"}) {
        platform::DirectorySearch search(Folder() + beside);
        platform::FileEntry entry;
        EXPECT_FALSE(search.Next(entry)) << beside;
    }
}

TEST_F(ServerProgram, PortInUseLeavesItStoppedAndSaysWhy) {
    platform::SocketLibraryStartup();
    const platform::SocketHandle taken = platform::OpenTcpSocket();
    platform::Ipv4Endpoint local{platform::ParseDottedAddress("127.0.0.1"), 0};
    ASSERT_EQ(platform::BindSocket(taken, local), 0);
    ASSERT_EQ(platform::ListenSocket(taken, 1), 0);
    platform::LocalEndpoint(taken, local);

    ProgramRunner program;
    ASSERT_TRUE(program.Start(ProgramFile(), Folder(),
                              "/LOG2 /PORT" + std::to_string(local.port) + " /START"));
    ASSERT_TRUE(testing::PollUntil([&] { return Log().size() >= 8; }));
    const Lines log = Log();
    EXPECT_EQ(log[6], "listen to port " + std::to_string(local.port));
    EXPECT_TRUE(log[7].starts_with("Listen_Error(10048, ")) << log[7];
    EXPECT_EQ(program.ButtonCaption(), "start server");
    ASSERT_TRUE(program.CloseWindow());
    EXPECT_EQ(program.Wait(10000), 0);
    platform::CloseSocket(taken);
    platform::SocketLibraryCleanup();
}

}  // namespace
}  // namespace pelorin
