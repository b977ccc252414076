// Windows' wildcard rules, checked against the real directory search as well.
#include "platform/Wildcard.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/Files.h"
#include "testing/TempFolder.h"

namespace pelorin::platform {
namespace {

struct Case {
    const char* name;
    const char* pattern;
    bool matches;
};

const Case kCases[] = {
    {"abc", "*", true},
    {"abc", "*.*", true},
    {".", "*", true},
    {"..", "*.*", true},
    {"abc", "a?c", true},
    {"ac", "a?c", false},
    {"abc", "A?C", true},
    {"ABC", "abc", true},
    {"abcd", "abc", false},
    {"abc", "*c", true},
    {"abc", "*b", false},
    {"a.txt", "*.txt", true},
    {"a.txt.bak", "*.txt", false},
    {"x.y.z", "*.z", true},
    {"abc", "ab?", true},
    {"ab", "ab?", true},
    {"ab", "ab??", true},
    {"a", "?", true},
    {"", "?", true},
    {"noext", "*.", true},
    {"has.ext", "*.", false},
    {"btxt", "b*", true},
    {"sub", "s*b", true},
    {"sub", "*s*u*b*", true},
};

TEST(Wildcard, WindowsRules) {
    for (const auto& c : kCases) {
        EXPECT_EQ(MatchesWildcard(c.name, c.pattern), c.matches)
            << "name \"" << c.name << "\" pattern \"" << c.pattern << "\"";
    }
    EXPECT_TRUE(HasWildcard("a*"));
    EXPECT_TRUE(HasWildcard("?"));
    EXPECT_FALSE(HasWildcard("a.b\\c"));
}

std::set<std::string> Search(const std::string& pattern) {
    std::set<std::string> found;
    DirectorySearch search(pattern);
    FileEntry entry;
    while (search.Next(entry)) {
        if (entry.name != "." && entry.name != "..") found.insert(entry.name);
    }
    return found;
}

// On Windows the search is the system's own; it must agree with the rules above. Wine's
// search takes "?" as exactly one character everywhere and ignores a "." at the end, so
// only patterns on which Wine and Windows agree are compared here.
TEST(Wildcard, DirectorySearchFollowsTheSameRules) {
    testing::TempFolder folder;
    const char* names[] = {"abc", "ab", "a.txt", "a.txt.bak", "noext", "Mixed"};
    for (const char* n : names) ASSERT_EQ(WriteWholeFile(folder.path() + n, "x"), 0) << n;
    for (const char* pattern : {"*", "*.*", "a?c", "*.txt", "a.*", "*c", "MIXED", "m*", "noext."}) {
        std::set<std::string> expected;
        for (const char* n : names) {
            if (MatchesWildcard(n, pattern)) expected.insert(n);
        }
        EXPECT_EQ(Search(folder.path() + pattern), expected) << "pattern " << pattern;
    }
}

}  // namespace
}  // namespace pelorin::platform
