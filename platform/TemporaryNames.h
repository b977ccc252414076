// The names of the store's own temporary files. A server that dies leaves them behind, and
// in a container it usually starts again as the same process number, so they carry a
// start identity drawn at random once per program start instead: no name of an earlier
// start is ever made again, and at the next start every name that is not of the running
// start is known to be stale.
//
// They lie in one hidden folder at the top of the data folder (kTemporaryFolderName), on
// the data folder's own file system so that renames out of it stay atomic, and never in a
// folder of the store: a SET on its way never makes a folder look non-empty to DEL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelorin::platform {

// The hidden folder of the temporaries; a store name never holds a ".", so no request can
// name it.
constexpr std::string_view kTemporaryFolderName = ".pelorin-tmp";
// In that folder: the file whose lock a running program holds for its whole life.
constexpr std::string_view kTemporaryLockName = "lock";

// Sixteen letters, drawn once per program start. Letters only, so that no identity reads
// as a process number in the names of older versions (TemporaryFileProcess).
const std::string& StartIdentity();

// "tmp-<start>-<count>": the new content of a file on its way.
std::string TemporaryName(std::string_view start, std::uint32_t count);
// "aside-<start>-<count>-<item>": a file moved aside (Windows), with the item's path below
// the data folder escaped into one name ("%" as "%25", each separator as "%5C").
std::string AsideName(std::string_view start, std::uint32_t count, std::string_view item);

struct TemporaryNameParts {
    bool aside = false;
    std::string_view start;  // "" when the name is none of ours
    std::string item;        // of an aside name: the item's path, unescaped
};

// What TemporaryName or AsideName put into `name`; `start` is "" for any other name, and
// for an aside name whose item is no path below the data folder.
TemporaryNameParts TemporaryNameOf(std::string_view name);

// The next count for TemporaryName and AsideName: unique within this start.
std::uint32_t NextTemporaryCount();

// From now on the temporaries of files below `dataFolder` ("\" separators, as the store
// names it) lie in its hidden folder. Set by OpenTemporaryFolder once that folder is there.
void SetTemporaryDataFolder(std::string_view dataFolder);
// The data folder of SetTemporaryDataFolder when `path` lies below it, else "".
std::string TemporaryDataFolderOf(std::string_view path);

}  // namespace pelorin::platform
