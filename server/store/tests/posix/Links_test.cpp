// Links in the data folder: one that stays inside is followed (SET and DEL act on the link
// itself), one that leads out is refused like a bad name, and nothing outside changes.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "server/store/StoreCommand.h"
#include "server/store/tests/RecordedAnswer.h"
#include "server/store/tests/StoreFixture.h"

namespace pelorin {
namespace {

using testing::RecordedAnswer;

std::string Native(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

class Links : public testing::StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        outside_ = Native(Data()) + "-outside";
        ASSERT_EQ(mkdir(outside_.c_str(), 0777), 0);
        ASSERT_EQ(platform::WriteWholeFile(outside_ + "/canary", "outside"), 0);
        MakeDir("sub");
        Put("sub\\f", "inside");
        const std::string data = Native(Data()) + "/";
        ASSERT_EQ(symlink(outside_.c_str(), (data + "out").c_str()), 0);
        ASSERT_EQ(symlink("../data-outside/canary", (data + "fileout").c_str()), 0);
        ASSERT_EQ(symlink("/nowhere/new", (data + "dangling").c_str()), 0);
        ASSERT_EQ(symlink("sub", (data + "in").c_str()), 0);
        ASSERT_EQ(symlink((data + "sub/f").c_str(), (data + "filein").c_str()), 0);
    }
    void TearDown() override {
        unlink((outside_ + "/canary").c_str());
        rmdir(outside_.c_str());
        StoreFixture::TearDown();
    }

    std::string Run(const std::string& command, const std::string& target,
                    const std::string& body = {}) {
        RecordedAnswer answer;
        RunStoreCommand({command, target, body}, Data(), answer);
        return answer.all;
    }

    std::string outside_;
};

TEST_F(Links, ThoseLeadingOutAreRefusedThoseInsideFollowed) {
    const std::string refused = "400 Bad Request|Fehler 52: Bad file name or number";
    const struct {
        const char* label;
        std::string command;
        std::string target;
        std::string answer;
    } rows[] = {
        {"read through a folder link out", "GET", "/out/canary", refused},
        {"write through it", "SET", "/out/canary", refused},
        {"create through it", "NEW", "/out/new", refused},
        {"create a folder through it", "NEW", "/out/new/", refused},
        {"delete through it", "DEL", "/out/canary", refused},
        {"list it", "DIR", "/out/", refused},
        {"test a file through it", "DIR", "/out/canary", refused},
        {"read a file link out", "GET", "/fileout", refused},
        {"write it", "SET", "/fileout", refused},
        {"create through a dangling link out", "NEW", "/dangling", refused},
        {"read through a folder link inside", "GET", "/in/f", "200 OK|inside"},
        {"list it", "DIR", "/in/", "200 OK|f\r\n"},
        {"in another letter case", "GET", "/IN/F", "200 OK|inside"},
        {"read a file link inside", "GET", "/filein", "200 OK|inside"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.command, row.target, "changed"), row.answer) << row.label;
    }
    std::string canary;
    EXPECT_EQ(platform::ReadWholeFile(outside_ + "/canary", canary), 0);
    EXPECT_EQ(canary, "outside");
    EXPECT_NE(access((outside_ + "/new").c_str(), F_OK), 0);
    EXPECT_NE(access("/nowhere/new", F_OK), 0);

    // SET and DEL of a link inside act on the link, not on the file it leads to.
    EXPECT_EQ(Run("SET", "/filein", "own"), "200 OK|");
    EXPECT_EQ(Contents("filein"), "own");
    EXPECT_EQ(Contents("sub\\f"), "inside");
    EXPECT_EQ(Run("DEL", "/in"), "404 Not Found|");  // a folder: no plain file
    EXPECT_EQ(unlink((Native(Data()) + "/filein").c_str()), 0);
    ASSERT_EQ(symlink("sub/f", (Native(Data()) + "/filein").c_str()), 0);
    EXPECT_EQ(Run("DEL", "/filein"), "200 OK|");
    EXPECT_FALSE(Has("filein"));
    EXPECT_EQ(Contents("sub\\f"), "inside");
}

// The data folder is held open from one request to the next: a folder put in its place is
// the one served, and its links are judged from there.
TEST_F(Links, AFolderPutInPlaceOfTheDataFolderIsTheOneLookedIn) {
    EXPECT_EQ(Run("GET", "/sub/f"), "200 OK|inside");
    const std::string data = Native(Data());
    ASSERT_EQ(rename(data.c_str(), (data + "-old").c_str()), 0);
    ASSERT_EQ(mkdir(data.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((data + "/sub").c_str(), 0777), 0);
    ASSERT_EQ(symlink((outside_ + "/canary").c_str(), (data + "/sub/f").c_str()), 0);
    EXPECT_EQ(Run("GET", "/sub/f"), "400 Bad Request|Fehler 52: Bad file name or number");
    ASSERT_EQ(unlink((data + "/sub/f").c_str()), 0);
    ASSERT_EQ(platform::WriteWholeFile(data + "/sub/f", "new"), 0);
    EXPECT_EQ(Run("GET", "/sub/f"), "200 OK|new");
    std::filesystem::remove_all(data + "-old");
}

}  // namespace
}  // namespace pelorin
