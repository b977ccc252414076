// Address splitting and the walk up a path: the parts the cookie jar and the web client
// build on.
#include "net/URL_Modul.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelorin {
namespace {

struct SplitCase {
    const char* url;
    const char* hostPort;
    const char* portText;
    const char* hostText;
    const char* pathText;
};

TEST(SplitURL, Table) {
    const std::vector<SplitCase> cases = {
        {"http://localhost/x", "localhost:80", "80", "localhost", "/x"},
        {"localhost:88", "localhost:88", "88", "localhost", "/"},
        {"hTtP://Host:8080/a/b?q=1", "Host:8080", "8080", "Host", "/a/b?q=1"},
        {"127.0.0.1:88/a/", "127.0.0.1:88", "88", "127.0.0.1", "/a/"},
        // The port text is the leading number; the host part keeps what was written.
        {"h:88x/p", "h:88x", "88", "h", "/p"},
        {"h:abc", "h:abc", "0", "h", "/"},
        {"h:", "h:", "0", "h", "/"},
        // Only the first colon splits; a scheme without its slashes is part of the host.
        {"h:1:2/", "h:1:2", "1", "h", "/"},
        {"http:/x", "http:", "0", "http", "/x"},
        {"", ":80", "80", "", "/"},
        {"/only/path", ":80", "80", "", "/only/path"},
        {"http://", ":80", "80", "", "/"},
        {"https://a", "https:", "0", "https", "//a"},
        {"x/http://y", "x:80", "80", "x", "/http://y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const URLParts parts = SplitURL(c.url);
        EXPECT_EQ(parts.HostPort, c.hostPort);
        EXPECT_EQ(parts.PortText, c.portText);
        EXPECT_EQ(parts.HostText, c.hostText);
        EXPECT_EQ(parts.PathText, c.pathText);
        EXPECT_EQ(parts.FullURL, std::string("http://") + c.hostPort + c.pathText);
    }
}

TEST(ParentPath, Table) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"/a/b/c.html", "a/b"},
        {"/a/", ""},
        {"", ""},
        {"/", ""},
        {"///", ""},
        {"a", ""},
        {"a/b", "a"},
        {"/a/b/", "a"},
        {"\\a\\b\\c", "a/b"},
        {"/a\\b/c/", "a/b"},
        {"//a//b//", "a/"},
    };
    for (const auto& [path, parent] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ParentPath(path), parent);
    }
}

}  // namespace
}  // namespace pelorin
