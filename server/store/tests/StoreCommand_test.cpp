// Every store command with its answers, log lines and effect on the data folder, without
// sockets: the answer is recorded as the handler hands it to the connection.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "StoreFixture.h"
#include "diagnostics/Debug_Modul.h"
#include "platform/Files.h"
#include "platform/StaleTemporaries.h"
#include "server/store/StoreCommand.h"

namespace pelorin {
namespace {

using Lines = std::vector<std::string>;

struct RecordedAnswer : StoreAnswerWriter {
    int statusLines = 0;
    int status = 0;
    std::string reason;
    Lines pieces;

    void SendStatus(int s, std::string_view r) override {
        ++statusLines;
        status = s;
        reason = std::string(r);
    }
    void SendBody(std::string piece) override { pieces.push_back(std::move(piece)); }
    std::string Body() const {
        std::string all;
        for (const auto& p : pieces) all += p;
        return all;
    }
};

class StoreCommands : public testing::StoreFixture {
  protected:
    RecordedAnswer Run(std::string_view command, std::string_view target,
                       std::string_view body = {}, platform::FileReplacement* upload = nullptr) {
        RecordedAnswer answer;
        RunStoreCommand({command, target, body, upload}, Data(), answer);
        EXPECT_EQ(answer.statusLines, 1) << "exactly one answer";
        return answer;
    }
    // The names of the replacements' temporary files in the data folder and in "d".
    Lines Temporaries() const {
        Lines found;
        for (const std::string folder : {"", "d"}) {
            for (const std::string& name : Names(folder)) {
                if (name.starts_with(platform::kTemporaryFilePrefix)) found.push_back(name);
            }
        }
        return found;
    }
};

// Runs `answer` (an expression) once and checks its status line and body.
#define EXPECT_ANSWER(answer, code, text, body)    \
    do {                                           \
        const RecordedAnswer& recorded = (answer); \
        EXPECT_EQ(recorded.status, code);          \
        EXPECT_EQ(recorded.reason, text);          \
        EXPECT_EQ(recorded.Body(), body);          \
    } while (0)

TEST_F(StoreCommands, GetSendsTheFileBytesUnchanged) {
    const std::string bytes("a\rb\0\xFF\n", 6);  // a CR LF would split the log line
    Put("xtxt", bytes);
    const RecordedAnswer a = Run("GET", "/x.txt");
    EXPECT_ANSWER(a, 200, "OK", bytes);
    EXPECT_EQ(a.pieces.size(), 1u);  // one piece, as read
    EXPECT_EQ(TakeLog(), (Lines{"GET /x.txt", " Content: " + bytes}));
}

TEST_F(StoreCommands, GetOfAMissingItemOrAFolderIsNotFound) {
    MakeDir("d");
    EXPECT_ANSWER(Run("GET", "/nothing"), 404, "Not Found", "");
    EXPECT_ANSWER(Run("GET", "/d"), 404, "Not Found", "");
    EXPECT_EQ(TakeLog(),
              (Lines{"GET /nothing", " Error: not found", "GET /d", " Error: not found"}));
}

TEST_F(StoreCommands, CommandIsTrimmedAndUpperCasedAndPathsStayInside) {
    Put("x", "in data");
    EXPECT_ANSWER(Run("  get ", "/../x"), 200, "OK", "in data");
    EXPECT_ANSWER(Run("gEt", "x"), 200, "OK", "in data");
    EXPECT_EQ(TakeLog()[0], "GET /../x");
}

TEST_F(StoreCommands, GetOfTheDataFolderReadsNoFolder) {
    MakeDir("sub");
    EXPECT_ANSWER(Run("GET", "/"), 404, "Not Found", "");
    Put("f", "x");
    EXPECT_ANSWER(Run("GET", "/"), 400, "Bad Request", "Fehler 75: Path/File access error");
    EXPECT_ANSWER(Run("GET", "/sub/"), 404, "Not Found", "");
}

TEST_F(StoreCommands, SetReplacesAnExistingFileOnly) {
    Put("f", "old content that is longer");
    EXPECT_ANSWER(Run("SET", "/f", "new"), 200, "OK", "");
    EXPECT_EQ(Contents("f"), "new");
    EXPECT_EQ(TakeLog(), (Lines{"SET /f", " Content: new", " file set"}));

    EXPECT_ANSWER(Run("SET", "/g", "body"), 404, "Not Found", "");
    EXPECT_FALSE(Has("g"));
    EXPECT_EQ(TakeLog(), (Lines{"SET /g", " Content: body", " Error: file not found"}));
}

TEST_F(StoreCommands, SetWithAnEmptyBodyEmptiesTheFile) {
    Put("f", "something");
    EXPECT_ANSWER(Run("SET", "/f"), 200, "OK", "");
    EXPECT_TRUE(Has("f"));
    EXPECT_EQ(Contents("f"), "");
}

TEST_F(StoreCommands, FailedSetKeepsTheOldContentAndLeavesNoTemporaryFile) {
    MakeDir("d");
    Put("d\\f", "kept");
    // The plain-file test passes inside the folder, but a folder cannot be written.
    EXPECT_ANSWER(Run("SET", "/d/", "new"), 400, "Bad Request",
                  "Fehler 75: Path/File access error");
    EXPECT_EQ(Contents("d\\f"), "kept");
    EXPECT_EQ(Names("d"), (Lines{"f"}));
    EXPECT_EQ(Names(), (Lines{"d"}));
}

// Only a SET of a name the store takes writes its body as it arrives: any other gets no
// temporary file at all.
TEST_F(StoreCommands, OnlyASetOfANameTheStoreTakesBeginsAnUpload) {
    Put("f", "old");
    MakeDir("d");
    const struct {
        const char* label;
        std::string_view command;
        std::string_view target;
        bool begins;
        bool writes;  // a temporary file is there
    } rows[] = {
        {"SET of a file", "SET", "/f", true, true},
        {"command trimmed and upper-cased", " set ", "/f", true, true},
        {"missing file in a folder (404 after the body)", "SET", "/d/new", true, true},
        {"missing folder (begun, failed: 404 after the body)", "SET", "/no/x", true, false},
        {"a folder", "SET", "/d/", false, false},
        {"the data folder", "SET", "/", false, false},
        {"pattern *", "SET", "/f*", false, false},
        {"pattern ?", "SET", "/f?", false, false},
        {"refused character", "SET", "/a:b", false, false},
        {"device name", "SET", "/d/con", false, false},
        {"blank part", "SET", "/d/ /x", false, false},
        {"another command", "NEW", "/f", false, false},
        {"GET", "GET", "/f", false, false},
    };
    for (const auto& row : rows) {
        platform::FileReplacement upload;
        EXPECT_EQ(BeginUpload({row.command, row.target, {}}, Data(), upload), row.begins)
            << row.label;
        EXPECT_EQ(Temporaries().size(), row.begins && row.writes ? 1u : 0u) << row.label;
    }
    EXPECT_EQ(Temporaries(), Lines{});  // each went with its upload
    EXPECT_EQ(Contents("f"), "old");
}

// A body written as it arrived is put in place by the SET, which logs what was held of it
// for the log; a SET that answers otherwise leaves it to go with its owner.
TEST_F(StoreCommands, SetPutsAnUploadInPlaceOrLeavesIt) {
    Put("f", "old");
    MakeDir("d");
    platform::FileReplacement upload;
    BeginUpload({"SET", "/f", {}}, Data(), upload);
    ASSERT_EQ(upload.Write("new "), 0);
    ASSERT_EQ(upload.Write("content"), 0);
    EXPECT_EQ(Contents("f"), "old");
    EXPECT_ANSWER(Run("SET", "/f", "new content", &upload), 200, "OK", "");
    EXPECT_EQ(Contents("f"), "new content");
    EXPECT_EQ(TakeLog(), (Lines{"SET /f", " Content: new content", " file set"}));

    {
        platform::FileReplacement missing;
        BeginUpload({"SET", "/d/g", {}}, Data(), missing);
        ASSERT_EQ(missing.Write("body"), 0);
        EXPECT_ANSWER(Run("SET", "/d/g", "body", &missing), 404, "Not Found", "");
    }
    EXPECT_EQ(Names("d"), Lines{});
    EXPECT_EQ(Temporaries(), Lines{});
}

// With the store's hidden temporary folder open (as the running server has it), a body on
// its way never makes its folder look full: the folder lists empty and DEL takes it, and
// the SET, once its body is complete, answers as for a folder that is not there.
TEST_F(StoreCommands, ASetOnItsWayDoesNotKeepItsFolderFromBeingDeleted) {
    ASSERT_TRUE(platform::OpenTemporaryFolder(Data()));
    MakeDir("d");
    Put("d\\f", "old");
    platform::FileReplacement upload;
    ASSERT_TRUE(BeginUpload({"SET", "/d/f", {}}, Data(), upload));
    ASSERT_EQ(upload.Write("half of the "), 0);
    EXPECT_ANSWER(Run("DEL", "/d/f"), 200, "OK", "");
    EXPECT_ANSWER(Run("DIR", "/d/"), 200, "OK", "");
    EXPECT_ANSWER(Run("DIR", "/"), 200, "OK", "d\\\r\n");
    EXPECT_ANSWER(Run("DEL", "/d/"), 200, "OK", "");
    ASSERT_EQ(upload.Write("body"), 0);
    EXPECT_ANSWER(Run("SET", "/d/f", "", &upload), 404, "Not Found", "");
    upload.Discard();
    EXPECT_EQ(Names(), Lines{});
}

TEST_F(StoreCommands, NewMakesEmptyFilesAndFolders) {
    EXPECT_ANSWER(Run("NEW", "/f.txt", "dropped"), 201, "Created", "");
    EXPECT_TRUE(Has("ftxt"));
    EXPECT_EQ(Contents("ftxt"), "");
    EXPECT_ANSWER(Run("NEW", "/d/"), 201, "Created", "");
    EXPECT_ANSWER(Run("NEW", "/d/inner"), 201, "Created", "");
    EXPECT_EQ(Names("d"), (Lines{"inner"}));
    EXPECT_EQ(TakeLog(), (Lines{"NEW /f.txt", " file created", "NEW /d/", " dir created",
                                "NEW /d/inner", " file created"}));
}

TEST_F(StoreCommands, NewOfSomethingThereIsAConflict) {
    Put("f", "keep");
    MakeDir("d");
    EXPECT_ANSWER(Run("NEW", "/f"), 409, "Conflict", "");
    EXPECT_EQ(Contents("f"), "keep");
    EXPECT_ANSWER(Run("NEW", "/d/"), 409, "Conflict", "");
    EXPECT_ANSWER(Run("NEW", "/f/"), 409, "Conflict", "");  // a file of that name counts
    EXPECT_EQ(TakeLog(),
              (Lines{"NEW /f", " Error: file still exists", "NEW /d/", " Error: dir still exists",
                     "NEW /f/", " Error: dir still exists"}));
}

TEST_F(StoreCommands, NewFileWhereAFolderIsFails) {
    MakeDir("d");
    const RecordedAnswer a = Run("new", "/d");
    EXPECT_EQ(a.status, 400);
    EXPECT_EQ(a.Body(), "Fehler 75: Path/File access error");
    EXPECT_EQ(TakeLog(), (Lines{"NEW /d", "new /d", " Error 75: Path/File access error"}));
}

TEST_F(StoreCommands, NewInAMissingFolderFails) {
    const RecordedAnswer a = Run("NEW", "/none/f");
    EXPECT_EQ(a.status, 400);
    EXPECT_EQ(a.Body(), "Fehler 76: Path not found");
    EXPECT_EQ(Names(), Lines{});
}

TEST_F(StoreCommands, DelRemovesFilesAndEmptyFolders) {
    Put("f", "x");
    MakeDir("d");
    EXPECT_ANSWER(Run("DEL", "/f"), 200, "OK", "");
    EXPECT_ANSWER(Run("DEL", "/d/"), 200, "OK", "");
    EXPECT_EQ(Names(), Lines{});
    EXPECT_ANSWER(Run("DEL", "/f"), 404, "Not Found", "");
    EXPECT_ANSWER(Run("DEL", "/d/"), 404, "Not Found", "");
    EXPECT_EQ(TakeLog(), (Lines{"DEL /f", " file deleted", "DEL /d/", " dir deleted", "DEL /f",
                                " Error: file not found", "DEL /d/", " Error: file not found"}));
}

TEST_F(StoreCommands, DelOfAFolderThatHoldsEntriesFailsAndKeepsThem) {
    MakeDir("d");
    Put("d\\f", "x");
    const RecordedAnswer a = Run("DEL", "/d/");
    EXPECT_ANSWER(a, 400, "Bad Request", "Fehler 75: Path/File access error");
    EXPECT_EQ(a.pieces, (Lines{"Fehler 75: ", "Path/File access error"}));
    EXPECT_EQ(Contents("d\\f"), "x");
    EXPECT_EQ(TakeLog(), (Lines{"DEL /d/", "DEL /d/", " Error 75: Path/File access error"}));
}

// "/" names the data folder itself, and so do the forms that fold into it.
TEST_F(StoreCommands, DelNeverRemovesTheDataFolderEvenWhenEmpty) {
    for (const char* target : {"/", "", "//", "/./"}) {
        SCOPED_TRACE(target);
        EXPECT_ANSWER(Run("DEL", target), 400, "Bad Request", "Fehler 75: Path/File access error");
    }
    EXPECT_EQ(Run("DEL", "/ /").status, 400);  // the file systems drop the blank name
    MakeDir("d");                              // the data folder is still there
    EXPECT_ANSWER(Run("DEL", "/d/"), 200, "OK", "");
}

// The file systems drop spaces at the end of a name, so a blank name would stand for the
// folder around it: NEW would create one item and DEL look for another.
TEST_F(StoreCommands, BlankNamesAreRefusedByEveryCommand) {
    MakeDir("a");
    for (const char* command : {"NEW", "DEL", "GET", "SET", "DIR"}) {
        for (const char* target : {"/a/ /", "/a/ ", "/ /a"}) {
            SCOPED_TRACE(std::string(command) + " " + target);
            EXPECT_ANSWER(Run(command, target), 400, "Bad Request",
                          "Fehler 52: Bad file name or number");
        }
    }
    EXPECT_EQ(Names(), Lines{"a"});
    EXPECT_EQ(Names("a"), Lines{});
}

TEST_F(StoreCommands, DelMixingFilesAndFolders) {
    Put("f", "x");
    MakeDir("d");
    EXPECT_EQ(Run("DEL", "/f/").status, 400);  // the entry test passes; a file is no folder
    EXPECT_EQ(Run("DEL", "/d").status, 404);   // a folder is no plain file
    EXPECT_EQ(Names(), (Lines{"d", "f"}));
}

TEST_F(StoreCommands, WildcardsNeverReachMoreThanOneItem) {
    Put("a1", "one");
    Put("a2", "two");
    for (const char* command : {"GET", "SET", "NEW", "DEL"}) {
        for (const char* target : {"/a*", "/a?", "/*/", "/a?/"}) {
            const RecordedAnswer a = Run(command, target, "overwrite");
            EXPECT_ANSWER(a, 400, "Bad Request", "Fehler 52: Bad file name or number");
        }
    }
    EXPECT_EQ(Names(), (Lines{"a1", "a2"}));
    EXPECT_EQ(Contents("a1"), "one");
    EXPECT_EQ(Contents("a2"), "two");
    const Lines log = TakeLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "GET /a*");
    EXPECT_EQ(log[1], "GET /a*");
    EXPECT_EQ(log[2], " Error 52: Bad file name or number");
}

TEST_F(StoreCommands, NamesTheFileSystemRefusesTouchNothing) {
    Put("a", "x");
    // Device names stand for devices in every folder on Windows: "NEW /nul" would open
    // the null device and report a file made.
    const std::string targets[] = {
        std::string("/a\0b", 4), "/a:b", "/a\tb", "/a<b", "/a|b", "/a\"b", "/nul", "/a/Com1"};
    for (const std::string& target : targets) {
        for (const char* command : {"GET", "SET", "NEW", "DEL", "DIR"}) {
            const RecordedAnswer a = Run(command, target, "x");
            EXPECT_ANSWER(a, 400, "Bad Request", "Fehler 52: Bad file name or number");
        }
        EXPECT_EQ(Run("NEW", target + "/").status, 400);
    }
    EXPECT_EQ(Names(), (Lines{"a"}));
    EXPECT_EQ(Contents("a"), "x");
}

TEST_F(StoreCommands, OverlongNamesAreBadNames) {
    const std::string name(300, 'n');  // beyond what one name may hold
    EXPECT_ANSWER(Run("GET", "/" + name), 404, "Not Found", "");
    EXPECT_ANSWER(Run("NEW", "/" + name), 400, "Bad Request", "Fehler 52: Bad file name or number");
    EXPECT_ANSWER(Run("NEW", "/" + name + "/"), 400, "Bad Request",
                  "Fehler 52: Bad file name or number");
    EXPECT_EQ(Names(), Lines{});
}

TEST_F(StoreCommands, NamesAreBytesAndLetterCaseDoesNotCount) {
    const std::string name = "Gr\xFC\xDF";  // "Grüß" in the ANSI code page
    EXPECT_ANSWER(Run("NEW", "/" + name), 201, "Created", "");
    EXPECT_ANSWER(Run("NEW", "/gR\xFC\xDF"), 409, "Conflict", "");
    EXPECT_ANSWER(Run("SET", "/GR\xFC\xDF", "x"), 200, "OK", "");
    EXPECT_ANSWER(Run("DIR", "/"), 200, "OK", name + "\r\n");
    EXPECT_ANSWER(Run("GET", "/" + name), 200, "OK", "x");
}

TEST_F(StoreCommands, DirOfAFileTellsWhetherItIsThere) {
    Put("f", "x");
    MakeDir("d");
    EXPECT_ANSWER(Run("DIR", "/f"), 200, "Found", "");
    EXPECT_ANSWER(Run("DIR", "/d"), 404, "Not Found", "");  // a folder is no file
    EXPECT_ANSWER(Run("DIR", "/g"), 404, "Not Found", "");
    EXPECT_ANSWER(Run("DIR", "/?"), 200, "Found", "");  // DIR keeps its patterns
    EXPECT_EQ(TakeLog(), (Lines{"DIR /f", " file found", "DIR /d", " file not found", "DIR /g",
                                " file not found", "DIR /?", " file found"}));
}

TEST_F(StoreCommands, DirOfAFolderListsItsEntries) {
    Put("xtxt", "x");
    MakeDir("sub");
    Put("sub\\inner", "");
    const RecordedAnswer a = Run("DIR", "/");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.reason, "OK");
    Lines pieces = a.pieces;
    std::sort(pieces.begin(), pieces.end());
    EXPECT_EQ(pieces, (Lines{"sub\\\r\n", "xtxt\r\n"}));  // one piece per entry, any order
    Lines log = TakeLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "DIR /");
    std::sort(log.begin() + 1, log.end());
    EXPECT_EQ(log[1], " new dir: sub");
    EXPECT_EQ(log[2], " new file: xtxt");
    EXPECT_ANSWER(Run("DIR", "/sub/"), 200, "OK", "inner\r\n");
}

TEST_F(StoreCommands, DirListsNoDotNamesAndNothingOfAnEmptyFolder) {
    MakeDir("e");
    EXPECT_ANSWER(Run("DIR", "/e/"), 200, "OK", "");
    Put("e\\.hidden", "made behind the store's back");
    EXPECT_ANSWER(Run("DIR", "/e/"), 200, "OK", "");
    EXPECT_ANSWER(Run("DIR", "/none/"), 404, "Not Found", "");
    EXPECT_ANSWER(Run("DIR", "/e*/"), 404, "Not Found", "");
    const Lines log = TakeLog();
    EXPECT_EQ(log[log.size() - 1], " Error: dir not found");
}

TEST_F(StoreCommands, OtherMethodsAreNotImplemented) {
    Put("x", "keep");
    for (const char* command : {"PUT", "POST", "", "GETX", "DELETE"}) {
        EXPECT_ANSWER(Run(command, "/x", "body"), 501, "Not Implemented", "");
    }
    EXPECT_EQ(Contents("x"), "keep");
    const Lines log = TakeLog();
    ASSERT_EQ(log.size(), 10u);
    EXPECT_EQ(log[0], "PUT /x");
    EXPECT_EQ(log[1], " Error: bad command");
    EXPECT_EQ(log[4], " /x");  // the command as received: empty
}

TEST_F(StoreCommands, NothingIsLoggedWithTheLogOff) {
    Put("f", "x");
    SetLogLevel(0);
    EXPECT_EQ(Run("GET", "/f").Body(), "x");
    EXPECT_EQ(TakeLog(), Lines{});
}

}  // namespace
}  // namespace pelorin
