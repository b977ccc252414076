// Reading the server program's command line: splitting, switch matching, values.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diagnostics/Debug_Modul.h"
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
