// Tidying up after a process that died while it replaced a file: ReplaceFileAtomically
// writes the new content to a hidden temporary file first, and a process killed (or a
// machine switched off) before the rename leaves that file behind, unseen and never
// reused, as large as the content it was to hold. On Windows a file that readers hold
// open is moved aside before the new content takes its name; a process killed between
// those two renames leaves the file under its aside name, and its own name missing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelorin::platform {

// Prefix of the names that files held open move aside to. It begins with "." as
// kTemporaryFilePrefix does, so that listings pass over these names too.
constexpr std::string_view kAsideFilePrefix = ".pelorin-aside-";

// Makes the hidden folder of the temporaries at the top of `dataFolder` (TemporaryNames.h)
// and holds its lock for the program's life. When no other running program holds it, every
// temporary of an earlier start goes first (a file moved aside gets its item's name back
// when that name is missing). From then on the temporaries of files below `dataFolder` lie
// there. False when the folder cannot be made or locked: they then lie beside their files.
bool OpenTemporaryFolder(std::string_view dataFolder);

// Lets the lock go and keeps the temporaries beside their files again: for tests, which
// remove their data folders afterwards.
void CloseTemporaryFolder();

// The names that older versions gave their temporaries beside the files. This version
// never makes them, so one that carries this process's own number was left by an earlier
// start that happened to run as the same number (as in a container, where the server is
// process 1 every time).
// In `folder` and every folder below it, for each process that no longer runs: removes
// the temporary files of ReplaceFileAtomically, and gives a file moved aside its own name
// back when that name is missing (else removes it). Files of running processes (another
// program working on the same folder) and every other file stay.
void RemoveStaleTemporaries(std::string_view folder);

// The process number in the name of a temporary file of ReplaceFileAtomically (the
// prefix, the process number, "-" and a count), or 0 when `name` is not such a name.
std::uint32_t TemporaryFileProcess(std::string_view name);

// The name that the file named `item` moves aside to: the prefix, the process number,
// "-", a count, "-" and `item`.
std::string AsideFileName(std::uint32_t process, std::uint32_t count, std::string_view item);

struct AsideFile {
    std::uint32_t process = 0;  // 0 when the name is not one of AsideFileName
    std::string_view item;      // the file's own name, a part of the name looked at
};

// What AsideFileName put into `name`. An item name that is empty, "." or "..", or holds a
// separator, is no item: such a name is not one of ours.
AsideFile AsideFileOf(std::string_view name);

}  // namespace pelorin::platform
