// Reading the server program's command line: splitting, switch matching, values.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PelorinVersion.h"
#include "diagnostics/Debug_Modul.h"
#include "platform/ArgumentQuoting.h"
#include "server/CommandLine.h"
#include "server/MainCode.h"

namespace pelorin {
namespace {

using Args = std::vector<std::string>;

TEST(SplitArguments, SpacesSeparateAndQuotesKeepThem) {
    EXPECT_EQ(SplitArguments("  /LOG2   -debug  "), (Args{"/LOG2", "-debug"}));
    EXPECT_EQ(SplitArguments("\"-LOG 2\" x"), (Args{"-LOG 2", "x"}));
    EXPECT_EQ(SplitArguments("a\"b c\"d"), (Args{"ab cd"}));  // quotes drop out anywhere
    EXPECT_EQ(SplitArguments("\"\" a \"\""), (Args{"a"}));    // nothing makes no argument
    EXPECT_EQ(SplitArguments("\"open quote"), (Args{"open quote"}));
    EXPECT_EQ(SplitArguments(""), Args{});
    EXPECT_EQ(SplitArguments("   "), Args{});
}

TEST(SplitArguments, BackslashesCountOnlyBeforeAQuote) {
    struct Case {
        const char* line;
        Args arguments;
    };
    const Case cases[] = {
        {R"(a\b c\)", {R"(a\b)", R"(c\)"}},            // alone they are themselves
        {R"(\\server\share)", {R"(\\server\share)"}},  // a run without a quote
        {R"(x\"y)", {R"(x"y)"}},                       // 1 -> 0 and the quote itself
        {R"(x\\"y z")", {R"(x\y z)"}},                 // 2 -> 1 and the quote toggles
        {R"(x\\\"y)", {R"(x\"y)"}},                    // 3 -> 1 and the quote itself
        {R"("C:\a b\\" /LOG2)", {R"(C:\a b\)", "/LOG2"}},
        {R"("C:\a b\" /LOG2)", {R"(C:\a b" /LOG2)"}},  // as Windows programs read it
        {R"(\")", {R"(")"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitArguments(c.line), c.arguments) << c.line;
}

// The Linux program rebuilds its command line from its arguments: reading it gives them
// back, whatever they hold.
TEST(SplitArguments, ReadsBackWhatQuoteArgumentWrote) {
    const Args cases[] = {
        {"/LOG2", "-debug"},
        {R"(x"y)", "/LOG2"},
        {R"(a "b" c)", R"(")", R"("")"},
        {R"(C:\a b\)", R"(\)", R"(\\")", R"(a\\b)", R"(a\\"b)"},
        {" lead", "trail ", "  ", "\t"},
        {"/FOLDER=/tmp/a:b*?<>|\"c d"},
    };
    for (const Args& arguments : cases) {
        const std::string line = platform::JoinArguments(arguments);
        EXPECT_EQ(SplitArguments(line), arguments) << line;
    }
    // An empty argument is written, and read as none, as every empty one is.
    EXPECT_EQ(SplitArguments(platform::JoinArguments({"a", "", "b"})), (Args{"a", "b"}));
}

TEST(ReadSwitch, WordsMatchByPrefixInOrderAnyCase) {
    struct Case {
        const char* argument;
        SwitchKind kind;
    };
    const Case cases[] = {
        {"/DEBUGFILE", SwitchKind::DebugFile},  // never also DEBUG
        {"DEBUGFILEX", SwitchKind::DebugFile}, {"/debug", SwitchKind::Debug},
        {"-DeBuG", SwitchKind::Debug},         {"\\DEBUGX", SwitchKind::Debug},
        {"debugfil", SwitchKind::Debug},       {"/prozessinfo", SwitchKind::ProzessInfo},
        {"/START", SwitchKind::Start},         {"-startnow", SwitchKind::Start},
        {"xLOG2", SwitchKind::None},    // the word must stand at the start
        {"//DEBUG", SwitchKind::None},  // only one switch character is dropped
        {"/DEBU", SwitchKind::None},           {"/", SwitchKind::None},
        {"/ debug", SwitchKind::Debug},  // spaces after the switch character go
        {"/folder=x", SwitchKind::Folder},     {"/?", SwitchKind::Help},
        {"-help", SwitchKind::Help},           {"--HELP", SwitchKind::Help},
        {"/version", SwitchKind::Version},     {"--version", SwitchKind::Version},
        {"---help", SwitchKind::None},         {"/-?", SwitchKind::None},
        {"/LOGFOLDER=x", SwitchKind::Log},    // the earlier word takes it
        {"/PORTFOLDER=x", SwitchKind::None},  // and keeps it from the later one
        {"/debug?", SwitchKind::Debug},        {"/startfolder=x", SwitchKind::Start},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadSwitch(c.argument).kind, c.kind) << c.argument;
}

// Help and version end the program instead of starting the store: an argument that only
// begins like them is an unknown switch, ignored.
TEST(ReadSwitch, HelpAndVersionCountOnlyAsWholeWords) {
    struct Case {
        const char* argument;
        SwitchKind kind;
    };
    const Case cases[] = {
        {"/Helpdesk", SwitchKind::None}, {"version2", SwitchKind::None},
        {"--helpme", SwitchKind::None},  {"/??", SwitchKind::None},
        {"-versions", SwitchKind::None}, {"/?x", SwitchKind::None},
        {"HELP", SwitchKind::Help},      {"/ help", SwitchKind::Help},
        {"?", SwitchKind::Help},         {"\\VERSION", SwitchKind::Version},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadSwitch(c.argument).kind, c.kind) << c.argument;
}

TEST(ReadSwitch, LogTakesTheNumberAfterItsThreeLetters) {
    struct Case {
        const char* argument;
        std::int16_t level;
    };
    const Case cases[] = {
        {"/LOG2", 2},  {"log3", 3},   {"LOG", 0},          {"LOG 2", 2},
        {"LOGx", 0},   {"LOG2.5", 2},  // rounded half to even
        {"LOG3.5", 4}, {"LOG-1", -1}, {"LOG32767", 32767}, {"LOG-32768", -32768},
    };
    for (const Case& c : cases) {
        const Switch found = ReadSwitch(c.argument);
        EXPECT_EQ(found.kind, SwitchKind::Log) << c.argument;
        EXPECT_EQ(found.logLevel, c.level) << c.argument;
    }
}

TEST(ReadSwitch, LogBeyondSixteenBitsIsIgnored) {
    for (const char* argument : {"/LOG32768", "/LOG-32769", "/LOG1E10", "/LOG99999999999"}) {
        EXPECT_EQ(ReadSwitch(argument).kind, SwitchKind::None) << argument;
    }
}

TEST(ReadSwitch, PortNeedsDigits) {
    const Switch port = ReadSwitch("/PORT8088");
    EXPECT_EQ(port.kind, SwitchKind::Port);
    EXPECT_EQ(port.portText, "8088");
    EXPECT_EQ(ReadSwitch("-port 0").portText, "0");
    for (const char* argument : {"/PORT", "/PORTX", "/PORT80x", "/PORT-1", "/PORTABLE"}) {
        EXPECT_EQ(ReadSwitch(argument).kind, SwitchKind::None) << argument;
    }
}

TEST(ReadSwitch, FolderNeedsASeparatorAndKeepsTheFolderAsWritten) {
    struct Case {
        const char* argument;
        const char* folder;  // nullptr: no switch
    };
    const Case cases[] = {
        {"/FOLDER=/var/lib/pelorin", "/var/lib/pelorin"},
        {"-folder:C:\\Pelorin Data\\", "C:\\Pelorin Data\\"},
        {"/Folder=Mixed Case", "Mixed Case"},
        {"/FOLDER==x", "=x"},  // only the first "=" goes
        {"/FOLDER=a:b*?<>|\"", "a:b*?<>|\""},
        {"/FOLDER", nullptr},
        {"/FOLDER=", nullptr},
        {"/FOLDERS", nullptr},
        {"/FOLDER x", nullptr},
    };
    for (const Case& c : cases) {
        const Switch found = ReadSwitch(c.argument);
        if (c.folder == nullptr) {
            EXPECT_EQ(found.kind, SwitchKind::None) << c.argument;
        } else {
            EXPECT_EQ(found.kind, SwitchKind::Folder) << c.argument;
            EXPECT_EQ(found.folder, c.folder) << c.argument;
        }
    }
    // A quoted folder keeps its spaces; the last switch wins.
    EXPECT_EQ(FilesFolderOf(ReadSwitches(R"(/FOLDER=a "/FOLDER=C:\My Data" /LOG2)")),
              "C:\\My Data");
    EXPECT_EQ(FilesFolderOf(ReadSwitches("/LOG2 /FOLDERS")), "");
}

TEST(InformationOf, HelpNamesEverySwitchAndVersionIsOneLine) {
    const std::string version = "Pelorin " PELORIN_VERSION_TEXT;
    EXPECT_EQ(InformationOf(ReadSwitches("/LOG2 /START")), "");
    EXPECT_EQ(InformationOf(ReadSwitches("/LOG2 --version /?")), version + "\n");
    const std::string help = InformationOf(ReadSwitches("/?"));
    EXPECT_TRUE(help.starts_with(version + "\n")) << help;
    for (const char* word : {"/PORTn", "/START", "/FOLDER=", "/LOGn", "/DEBUG:", "/DEBUGFILE",
                             "/PROZESSINFO", "--help", "--version"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

TEST(ReadSwitches, KeepsOrderAndDropsTheRest) {
    const std::vector<Switch> found =
        ReadSwitches("/LOG2 -debug nothing /PORT9000 /LOG70000 /start");
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].kind, SwitchKind::Log);
    EXPECT_EQ(found[1].kind, SwitchKind::Debug);
    EXPECT_EQ(found[2].kind, SwitchKind::Port);
    EXPECT_EQ(found[3].kind, SwitchKind::Start);
    const std::vector<Switch> quoted = ReadSwitches("\"-LOG 3\"");
    ASSERT_EQ(quoted.size(), 1u);
    EXPECT_EQ(quoted[0].logLevel, 3);
}

// The start routine's reading: the diagnostic switches take effect at once, the window's
// switches come back for the window.
TEST(ReadCommandLine, AppliesTheSwitchesInOrder) {
    SetDebugReady(true);
    ResetDiagnostics();
    const WindowOptions options =
        ReadCommandLine("/LOG2 -debugfile \\prozessinfo /PORT9000 /LOG70000 /PORT8088 /start");
    EXPECT_EQ(LogLevel(), 2);  // the 16-bit overflow left it alone
    EXPECT_TRUE(DebugFileOn());
    EXPECT_TRUE(ProzessInfoOn());
    EXPECT_FALSE(DebugWindowShown());     // DEBUGFILE is not DEBUG
    EXPECT_EQ(options.portText, "8088");  // the last one wins
    EXPECT_TRUE(options.startServer);

    const WindowOptions none = ReadCommandLine("");
    EXPECT_EQ(none.portText, "88");
    EXPECT_FALSE(none.startServer);
    ResetDiagnostics();
    SetDebugReady(false);
}

}  // namespace
}  // namespace pelorin
