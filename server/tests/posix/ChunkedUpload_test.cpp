// A real HTTP/1.1 client's streamed upload: Python's http.client sends an iterable body
// without a length, in chunks, and the store keeps exactly its bytes.
#include <stdio.h>
#include <sys/wait.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "server/tests/ServerFixture.h"
#include "testing/TestLoop.h"

namespace pelorin {
namespace {

using Lines = std::vector<std::string>;
using StoreServer = testing::ServerFixture;

// The shell's answer when it finds no such command.
constexpr int kCommandNotFound = 127;

// Runs `command` through the shell; its standard output and its exit status (-1 when it
// did not exit). Blocks: run it beside the loop that drives the server.
std::pair<std::string, int> RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {"<no shell>", -1};
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = pclose(pipe);
    return {output, status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// The body comes from a generator: http.client then writes it chunked, a chunk for each
// piece, the last one holding bytes that look like the end of the framing.
constexpr const char* kUpload = R"(
import http.client, sys
def body():
    yield b"first "
    yield bytes(range(256)) * 400
    yield b"\r\n0\r\n\r\n"
c = http.client.HTTPConnection("127.0.0.1", int(sys.argv[1]), timeout=20)
c.request("SET", "/py", body=body())
r = c.getresponse()
sys.stdout.write("%d %s|%s" % (r.status, r.reason, r.read().decode("latin-1")))
)";

TEST_F(StoreServer, PythonChunkedUploadIsStored) {
    Put("py", "kept");
    std::pair<std::string, int> result;
    std::atomic<bool> done{false};
    std::thread client([&] {
        result = RunCommand("python3 -c '" + std::string(kUpload) + "' " + std::to_string(port_) +
                            " 2>&1");
        done = true;
    });
    const bool finished = testing::PumpUntil([&] { return done.load(); }, 30000);
    client.join();
    ASSERT_TRUE(finished);
    if (result.second == kCommandNotFound) {
        GTEST_SKIP() << "python3 is not available here: no upload by http.client";
    }
    EXPECT_EQ(result.second, 0) << result.first;
    EXPECT_EQ(result.first, "200 OK|");
    std::string expected = "first ";
    for (int i = 0; i < 400; ++i) {
        for (int b = 0; b < 256; ++b) expected += static_cast<char>(b);
    }
    expected += "\r\n0\r\n\r\n";
    EXPECT_TRUE(Contents("py") == expected) << Contents("py").size() << " of " << expected.size();
    EXPECT_EQ(Names(), (Lines{"py"}));
}

}  // namespace
}  // namespace pelorin
