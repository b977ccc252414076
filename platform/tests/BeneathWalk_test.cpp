// Following a path below a root through links, over a made-up file system.
#include "platform/BeneathWalk.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

namespace pelorin::platform {
namespace {

const std::string kRoot = "/srv/data";

// Below the root: folders and files ("") and links (their targets).
const std::map<std::string, std::optional<std::string>> kTree = {
    {"a", std::nullopt},
    {"a/file", std::nullopt},
    {"a/self", "../a"},
    {"up", "../a"},
    {"sibling", "../../etc"},
    {"outside", "/etc"},
    {"inside", "/srv/data/a"},
    {"lookalike", "/srv/data2/a"},
    {"root", "/srv/data"},
    {"a/back", ".."},
    {"a/twice", "../../data/a"},
    {"a/deep", "../a/self/file"},
    {"loop", "loop"},
    {"dangling", "/tmp/new"},
    {"dangling-in", "a/new"},
};

PathLook Look(const std::string& below) {
    const auto found = kTree.find(below);
    if (found == kTree.end()) return {};
    if (!found->second) return {true, false, {}};
    return {true, true, *found->second};
}

TEST(BeneathWalk, LinksAreFollowedWhileTheyStayBelowTheRoot) {
    const struct {
        const char* label;
        const char* relative;
        std::optional<std::string> end;
    } rows[] = {
        {"the root", "", ""},
        {"a folder", "a", "a"},
        {"a file", "a/file", "a/file"},
        {"a name not there", "a/none/deeper", "a/none/deeper"},
        {"separators doubled and at the end", "a//file/", "a/file"},
        {"relative link inside", "a/self/file", "a/file"},
        {"absolute link inside", "inside/file", "a/file"},
        {"link to the root", "root/a", "a"},
        {"link to the folder above", "a/back/a/file", "a/file"},
        {"out and back in by name: out on the way", "a/twice/file", std::nullopt},
        {"relative link above the root", "up/file", std::nullopt},
        {"link through a link", "a/deep", "a/file"},
        {"dangling, inside", "dangling-in", "a/new"},
        {".. climbing out", "..", std::nullopt},
        {".. after a name", "a/../../x", std::nullopt},
        {"relative link out", "sibling/passwd", std::nullopt},
        {"absolute link out", "outside/passwd", std::nullopt},
        {"the link itself out", "outside", std::nullopt},
        {"a root that only starts alike", "lookalike", std::nullopt},
        {"dangling, outside", "dangling", std::nullopt},
        {"a link to itself", "loop", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WalkBeneath(kRoot, row.relative, Look), row.end) << row.label;
    }
}

}  // namespace
}  // namespace pelorin::platform
