// The tool's argument rules, outputs and exit statuses, over a store double.
#include "client/tool/StoreTool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "PelorinVersion.h"

namespace pelorin::tool {
namespace {

// Records the calls and answers as the test says.
struct FakeStore final : StoreAccess {
    std::vector<std::string>* calls = nullptr;
    std::string text;
    bool found = false;
    bool fail = false;
    StoreFailure failure{5, "Invalid procedure call or argument"};

    void Record(const std::string& call) {
        calls->push_back(call);
        if (fail) throw failure;
    }
    void SetPort(std::int32_t port) override {
        calls->push_back("SetPort " + std::to_string(port));
    }
    void NewFolder(const std::string& n) override { Record("NewFolder " + n); }
    void NewFile(const std::string& n) override { Record("NewFile " + n); }
    void DeleteFolder(const std::string& n) override { Record("DeleteFolder " + n); }
    void DeleteFile(const std::string& n) override { Record("DeleteFile " + n); }
    std::string DirFolder(const std::string& n) override {
        Record("DirFolder " + n);
        return text;
    }
    bool DirFile(const std::string& n) override {
        Record("DirFile " + n);
        return found;
    }
    std::string GetFile(const std::string& n) override {
        Record("GetFile " + n);
        return text;
    }
    void SetFile(const std::string& n, const std::string& c) override {
        Record("SetFile " + n + " [" + c + "]");
    }
    // The text in pieces of two bytes, each reported as progress.
    void GetFileTo(const std::string& n, const StoreSink& sink,
                   const StoreProgress& progress) override {
        Record("GetFile " + n);
        for (std::size_t done = 0; done < text.size(); done += 2) {
            sink(std::string_view(text).substr(done, 2));
            if (progress) progress(std::min(done + 2, text.size()), -1);
        }
    }
    void GetFileToFile(const std::string& n, const std::string& path,
                       const StoreProgress&) override {
        Record("GetFile " + n + " to " + path);
    }
    void SetFileFromFile(const std::string& n, const std::string& path,
                         const StoreProgress& progress) override {
        std::ifstream in(path, std::ios::binary);
        const std::string content{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
        Record("SetFile " + n + " [" + content + "]");
        if (progress) progress(content.size(), static_cast<std::int64_t>(content.size()));
    }
};

class StoreToolTest : public ::testing::Test {
  protected:
    int Run(const std::vector<std::string>& arguments, const std::string& input = "",
            const ToolConsole& console = {}) {
        std::istringstream in(input);
        out.str("");
        err.str("");
        calls.clear();
        opened = false;
        return RunStoreTool(
            arguments,
            [this]() -> std::unique_ptr<StoreAccess> {
                opened = true;
                if (cannotOpen) throw StoreFailure{429, "ActiveX component can't create object"};
                auto store = std::make_unique<FakeStore>();
                store->calls = &calls;
                store->text = text;
                store->found = found;
                store->fail = fail;
                store->failure = failure;
                return store;
            },
            in, out, err, console);
    }

    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> calls;
    bool opened = false;
    std::string text;
    bool found = false;
    bool fail = false;
    StoreFailure failure{5, "Invalid procedure call or argument"};
    bool cannotOpen = false;
};

TEST_F(StoreToolTest, UsageErrorsExitTwoWithoutTouchingTheStore) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"--port"},
        {"--port", "88"},
        {"--port", "x88", "GetFile", "a"},
        {"--port", "88x", "GetFile", "a"},
        {"--port", "99999999999", "GetFile", "a"},
        {"Fetch", "a"},
        {"GetFile", "a", "b"},        // only SetFile takes content
        {"SetFile", "a", "b", "c"},   // too many
        {"GetFile", "--port", "88"},  // the port comes first
        {"GetFile", "a", "-o"},       // an option without its value
        {"GetFile", "a", "--from", "f"},
        {"SetFile", "a", "-o", "f"},
        {"SetFile", "a", "b", "--from", "f"},
    };
    for (const auto& arguments : wrong) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        EXPECT_EQ(Run(arguments), kExitUsage);
        EXPECT_FALSE(opened);
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find("usage: pelorin-client [--port N] METHOD [NAME [CONTENT]]"),
                  std::string::npos);
    }
}

TEST_F(StoreToolTest, HelpAndVersionExitZeroWithoutTouchingTheStore) {
    struct Case {
        std::vector<std::string> arguments;
        std::string firstLine;
    };
    const Case cases[] = {
        {{"--help"}, "usage: pelorin-client [--port N] METHOD [NAME [CONTENT]]"},
        {{"--version"}, "pelorin-client " PELORIN_VERSION_TEXT},
        {{"--version", "GetFile"}, "pelorin-client " PELORIN_VERSION_TEXT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        EXPECT_EQ(Run(c.arguments), kExitSuccess);
        EXPECT_FALSE(opened);
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(out.str().substr(0, out.str().find('\n')), c.firstLine);
    }
    // Only as the first argument: after a method it is the item's name.
    EXPECT_EQ(Run({"GetFile", "--help"}), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"GetFile --help"});
}

TEST_F(StoreToolTest, MethodNamesIgnoreLetterCase) {
    EXPECT_EQ(Run({"gEtFiLe", "a"}), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"GetFile a"});
    EXPECT_EQ(Run({"DELETEFOLDER", "d"}), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"DeleteFolder d"});
    EXPECT_EQ(Run({"newfolder", "n"}), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"NewFolder n"});
    // An omitted name is the empty name.
    EXPECT_EQ(Run({"dirfolder"}), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"DirFolder "});
}

TEST_F(StoreToolTest, PortIsSetBeforeTheMethodAndOnlyWhenGiven) {
    EXPECT_EQ(Run({"--port", "9000", "NewFile", "f"}), kExitSuccess);
    EXPECT_EQ(calls, (std::vector<std::string>{"SetPort 9000", "NewFile f"}));
    EXPECT_EQ(Run({"DeleteFile", "f"}), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"DeleteFile f"});
}

TEST_F(StoreToolTest, OutputIsExactlyWhatTheMethodReturns) {
    text = std::string("a\0b\r\n\xff", 6);
    EXPECT_EQ(Run({"GetFile", "f"}), kExitSuccess);
    EXPECT_EQ(out.str(), text);
    text = "xtxt\rsub\\\r";
    EXPECT_EQ(Run({"DirFolder", "d"}), kExitSuccess);
    EXPECT_EQ(out.str(), text);
    found = true;
    EXPECT_EQ(Run({"DirFile", "f"}), kExitSuccess);
    EXPECT_EQ(out.str(), "true\n");
    found = false;
    EXPECT_EQ(Run({"DirFile", "f"}), kExitSuccess);
    EXPECT_EQ(out.str(), "false\n");
    for (const char* method : {"NewFile", "NewFolder", "DeleteFile", "DeleteFolder"}) {
        EXPECT_EQ(Run({method, "x"}), kExitSuccess);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), "");
    }
}

TEST_F(StoreToolTest, SetFileTakesStandardInputOnlyWhenContentIsOmitted) {
    const std::string input("line\r\n\0\x1a end", 12);
    EXPECT_EQ(Run({"SetFile", "f"}, input), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"SetFile f [" + input + "]"});
    EXPECT_EQ(Run({"SetFile", "f"}, ""), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"SetFile f []"});
    // An empty argument is content too: standard input is not read.
    EXPECT_EQ(Run({"SetFile", "f", ""}, "ignored"), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"SetFile f []"});
    EXPECT_EQ(Run({"setfile", "f", "abc"}, "ignored"), kExitSuccess);
    EXPECT_EQ(calls, std::vector<std::string>{"SetFile f [abc]"});
}

TEST_F(StoreToolTest, AFailedMethodExitsOneWithItsError) {
    fail = true;
    text = "never written";
    EXPECT_EQ(Run({"GetFile", "f"}), kExitMethodFailed);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "error 5: Invalid procedure call or argument\n");
    cannotOpen = true;
    EXPECT_EQ(Run({"DirFile", "f"}), kExitMethodFailed);
    EXPECT_EQ(err.str(), "error 429: ActiveX component can't create object\n");
}

TEST_F(StoreToolTest, AnOutputThatCannotBeWrittenIsAFailure) {
    text = "data";
    out.setstate(std::ios::badbit);
    std::istringstream in;
    const int status = RunStoreTool(
        {"GetFile", "f"},
        [this]() -> std::unique_ptr<StoreAccess> {
            auto store = std::make_unique<FakeStore>();
            store->calls = &calls;
            store->text = text;
            return store;
        },
        in, out, err);
    EXPECT_EQ(status, kExitLocalFile);
    EXPECT_NE(err.str().find("cannot write standard output"), std::string::npos);
}

TEST_F(StoreToolTest, StreamingOptionsGoBeforeTheMethodOrAfterTheName) {
    const std::string from =
        (std::filesystem::temp_directory_path() / "pelorin-tool-test-from").string();
    std::ofstream(from, std::ios::binary) << "filed";
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {{"GetFile", "f", "-o", "out"}, {"GetFile f to out"}},
        {{"--output", "out", "GetFile", "f"}, {"GetFile f to out"}},
        {{"--quiet", "GetFile", "-o"}, {"GetFile -o"}},  // the name
        {{"SetFile", "f", "--from", from}, {"SetFile f [filed]"}},
        {{"--port", "9", "-q", "--from", from, "SetFile", "f"}, {"SetPort 9", "SetFile f [filed]"}},
        {{"SetFile", "f", "--from", "-"}, {"SetFile f [standard input]"}},
        {{"SetFile", "f", "--quiet"}, {"SetFile f [standard input]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        EXPECT_EQ(Run(c.arguments, "standard input"), kExitSuccess);
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(err.str(), "");
    }
    std::filesystem::remove(from);
}

// One exit status for each class of failure.
TEST_F(StoreToolTest, FailuresExitByTheirClass) {
    struct Case {
        const char* label;
        StoreFailure failure;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"refused",
         {5, "Invalid procedure call or argument", 404},
         kExitMethodFailed,
         "error 5: Invalid procedure call or argument (status 404)\n"},
        {"no answer",
         {5, "Invalid procedure call or argument", 0},
         kExitNoAnswer,
         "error 5: Invalid procedure call or argument\n"},
        {"local file",
         {75, "Path/File access error: cannot create x", -1},
         kExitLocalFile,
         "error 75: Path/File access error: cannot create x\n"},
        {"cannot tell",
         {17, "Can't perform requested operation", -1},
         kExitMethodFailed,
         "error 17: Can't perform requested operation\n"},
    };
    fail = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        failure = c.failure;
        EXPECT_EQ(Run({"GetFile", "f"}), c.status);
        EXPECT_EQ(err.str(), c.message);
    }
}

// The line shows once a second has passed, is redrawn in place and cleared at the end;
// never when standard error is no terminal, nor with --quiet.
TEST_F(StoreToolTest, TheProgressLineShowsOnATerminalOnly) {
    text = std::string(4096, 'x');
    double now = 0;
    const ToolConsole terminal{true, [&now] { return now += 0.25; }};
    EXPECT_EQ(Run({"GetFile", "f"}, "", terminal), kExitSuccess);
    EXPECT_EQ(out.str(), text);
    const std::string shown = err.str();
    EXPECT_NE(shown.find("\r4.0 KiB  "), std::string::npos) << shown;
    EXPECT_NE(shown.find("B/s"), std::string::npos);
    EXPECT_EQ(shown.find('\n'), std::string::npos);
    EXPECT_TRUE(shown.ends_with(" \r")) << "cleared at the end";

    now = 0;
    EXPECT_EQ(Run({"SetFile", "f"}, std::string(3000, 'y'), terminal), kExitSuccess);
    EXPECT_EQ(err.str(), "") << "over within a second";

    const ToolConsole pipe{false, [&now] { return now += 10; }};
    EXPECT_EQ(Run({"GetFile", "f"}, "", pipe), kExitSuccess);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Run({"--quiet", "GetFile", "f"}, "", terminal), kExitSuccess);
    EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace pelorin::tool
