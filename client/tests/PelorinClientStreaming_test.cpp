// The store client's streaming methods against a recording server: the same requests
// and judging as GetFile and SetFile, every byte of a large content kept both ways, and
// no partial local file after a failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "client/PelorinClient.h"
#include "testing/ScriptedHttpServer.h"
#include "testing/TestLoop.h"
#include "testing/TestPeer.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::AnswerBytes;
using testing::Reply;
using testing::ScriptedHttpServer;

int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const PelorinClientError& e) {
        return e.number();
    }
    return 0;
}

std::string Pattern(std::size_t size) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7919u) >> 3);
    return content;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}

// The names in a folder.
std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class PelorinClientStreamingTest : public ::testing::Test {
  protected:
    PelorinClientStreamingTest() {
        std::random_device random;
        folder = fs::temp_directory_path() / ("pelorin-stream-" + std::to_string(random()));
        fs::create_directories(folder);
        client.SetPort(server.port());
    }
    ~PelorinClientStreamingTest() override { fs::remove_all(folder); }

    std::string Local(const std::string& name) const { return (folder / name).string(); }

    fs::path folder;
    ScriptedHttpServer server;
    PelorinClient client;
};

// Whatever GetFile and SetFile send, the streaming methods send too, byte for byte.
TEST_F(PelorinClientStreamingTest, RequestsAreThoseOfGetFileAndSetFile) {
    const std::string content = "a\r\nb\0c"s;
    WriteFile(Local("in"), content);
    struct Case {
        const char* label;
        std::function<void()> classic, streaming;
    };
    const std::vector<Case> cases = {
        {"GET", [&] { client.GetFile("a/b.txt"); },
         [&] { client.GetFileTo("a/b.txt", [](std::string_view) {}); }},
        {"SET from a file", [&] { client.SetFile("f", content); },
         [&] { client.SetFileFrom("f", Local("in")); }},
        {"SET from a source", [&] { client.SetFile("f", "xyz"); },
         [&] {
             int next = 0;  // one byte at a time
             client.SetFileFrom("f", 3, [&next](char* buffer, std::size_t) {
                 buffer[0] = "xyz"[next++];
                 return std::size_t{1};
             });
         }},
        {"SET of nothing", [&] { client.SetFile("e", ""); },
         [&] { client.SetFileFrom("e", 0, [](char*, std::size_t) { return std::size_t{0}; }); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        c.classic();
        c.streaming();
        ASSERT_GE(server.requests().size(), 2u);
        EXPECT_EQ(server.requests().back(), server.requests()[server.requests().size() - 2]);
    }
}

// 64 MiB, far beyond every buffer; 8 MiB (still 128 pieces) under a memory checker, which
// would take minutes over the larger one without finding more.
TEST_F(PelorinClientStreamingTest, A64MiBContentKeepsEveryByteBothWays) {
    const std::size_t mib = testing::TimeScale() > 1 ? 8 : 64;
    const std::string content = Pattern(mib * 1024 * 1024 + 3);
    WriteFile(Local("out"), content);
    std::uint64_t done = 0;
    std::int64_t total = 0;
    int reports = 0;
    const auto progress = [&](std::uint64_t d, std::int64_t t) {
        EXPECT_GE(d, done);
        done = d;
        total = t;
        ++reports;
    };
    client.SetFileFrom("big", Local("out"), progress);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(server.requests()[0].ends_with(content));  // not EXPECT_EQ: 64 MiB
    const std::string length = "Content-Length: " + std::to_string(content.size()) + "\r\n";
    EXPECT_NE(server.requests()[0].find(length), std::string::npos);
    EXPECT_EQ(done, content.size());
    EXPECT_EQ(total, static_cast<std::int64_t>(content.size()));
    EXPECT_GT(reports, 100);  // in pieces

    server.Queue(Reply{.pieces = {AnswerBytes(200, "OK"), content}});
    WriteFile(Local("in"), "old");  // replaced
    done = 0;
    client.GetFileTo("big", Local("in"), progress);
    EXPECT_TRUE(ReadFile(Local("in")) == content);
    EXPECT_EQ(done, content.size());
    EXPECT_EQ(total, -1);  // the server names no length
    EXPECT_EQ(Names(folder).size(), 2u);
}

// Another status fails as GetFile fails: the error text never reaches the sink, and the
// target keeps what it had.
TEST_F(PelorinClientStreamingTest, ARefusalFailsAndLeavesTheTargetAsItWas) {
    WriteFile(Local("target"), "old");
    server.QueueAnswer(AnswerBytes(404, "Not Found", "Fehler 53: File not found"));
    EXPECT_EQ(ErrorOf([&] { client.GetFileTo("x", Local("target")); }), PelorinClient::kFailed);
    EXPECT_EQ(client.LastStatus(), 404);
    EXPECT_EQ(ReadFile(Local("target")), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"target"});

    std::string sunk;
    server.QueueAnswer(AnswerBytes(404, "Not Found", "Fehler 53: File not found"));
    EXPECT_EQ(ErrorOf([&] { client.GetFileTo("x", [&](std::string_view p) { sunk += p; }); }),
              PelorinClient::kFailed);
    EXPECT_EQ(sunk, "");

    server.QueueAnswer(AnswerBytes(400, "Bad Request"));
    EXPECT_EQ(ErrorOf([&] { client.SetFileFrom("x", Local("target")); }), PelorinClient::kFailed);
    EXPECT_EQ(client.LastStatus(), 400);
}

// The target appears only whole: a GET that fails halfway leaves it as it was, and no
// temporary file beside it.
TEST_F(PelorinClientStreamingTest, AFailureInTheMiddleLeavesNoPartialFile) {
    WriteFile(Local("target"), "old");
    server.Queue(Reply{.pieces = {AnswerBytes(200, "OK"), Pattern(1024 * 1024)}});
    const auto stopHalfway = [](std::uint64_t done, std::int64_t) {
        if (done > 512 * 1024) throw std::runtime_error("stopped");
    };
    EXPECT_THROW(client.GetFileTo("x", Local("target"), stopHalfway), std::runtime_error);
    EXPECT_EQ(ReadFile(Local("target")), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"target"});

    server.Queue(Reply{.kind = Reply::Kind::CloseAtOnce});
    EXPECT_EQ(ErrorOf([&] { client.GetFileTo("x", Local("new")); }), PelorinClient::kFailed);
    EXPECT_EQ(client.LastStatus(), 0);  // no answer at all
    EXPECT_EQ(Names(folder), std::vector<std::string>{"target"});
}

// A reset ends the answer with a failure, not as a close: the target keeps its content.
TEST_F(PelorinClientStreamingTest, AResetInTheMiddleLeavesNoPartialFile) {
    if (!testing::SystemReportsResets()) {
        GTEST_SKIP() << "this system hands a reset on as an orderly end (Wine)";
    }
    WriteFile(Local("target"), "old");
    server.Queue(
        Reply{.pieces = {AnswerBytes(200, "OK"), Pattern(1024 * 1024)}, .resetAtEnd = true});
    EXPECT_EQ(ErrorOf([&] { client.GetFileTo("x", Local("target")); }), PelorinClient::kFailed);
    EXPECT_EQ(ReadFile(Local("target")), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"target"});
}

// A local file that cannot be read or written fails with its own number before or
// without a request; the caller's own failures come back as they were thrown.
TEST_F(PelorinClientStreamingTest, LocalAndCallerFailures) {
    EXPECT_EQ(ErrorOf([&] { client.SetFileFrom("x", Local("missing")); }),
              PelorinClient::kLocalFile);
    EXPECT_EQ(ErrorOf([&] { client.GetFileTo("x", Local("no-folder/target")); }),
              PelorinClient::kLocalFile);
    EXPECT_TRUE(server.requests().empty());

    server.Queue(Reply{.pieces = {AnswerBytes(200, "OK"), Pattern(300000)}});
    EXPECT_THROW(client.GetFileTo("x", [](std::string_view) { throw std::logic_error("full"); }),
                 std::logic_error);
    EXPECT_THROW(client.SetFileFrom("x", 10,
                                    [](char*, std::size_t) -> std::size_t {
                                        throw std::logic_error("unreadable");
                                    }),
                 std::logic_error);
    // A source that ends early fails the call; the object goes on working.
    EXPECT_EQ(ErrorOf([&] {
                  client.SetFileFrom("x", 10, [](char*, std::size_t) { return std::size_t{0}; });
              }),
              PelorinClient::kFailed);
    server.QueueAnswer(AnswerBytes(200, "OK", "fine"));
    EXPECT_EQ(client.GetFile("x"), "fine");
}

}  // namespace
}  // namespace pelorin
