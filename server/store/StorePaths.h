// Where a request's item lies below the data folder, which names the store refuses, and
// the three existence tests the store commands run before they touch anything.
#pragma once

#include <string>
#include <string_view>

namespace pelorin {

// The item a request target names, as a path below the data folder that starts with
// "\": every "." removed (so no name can climb out through ".."), "/" turned into "\",
// doubled "\" folded once, and a leading "\" added when missing. "/a/b.txt" gives
// "\a\btxt"; "" gives "\". A store path ending in "\" names a folder.
std::string StoreNameOf(std::string_view requestTarget);

// The data folder followed by the item's name.
std::string StorePathOf(std::string_view dataFolder, std::string_view requestTarget);

// True when the store name stands for the data folder itself: it holds nothing but
// separators and spaces, and the file systems drop spaces at the end of a name ("\",
// "\ \").
bool NamesDataFolder(std::string_view storeName);

// 0 when the file system takes the name, else the run-time error number to answer with
// (52, bad file name). Refused everywhere: control characters and NUL (a NUL would cut
// the name short), < > : " | (":" would name a data stream on Windows), and the device
// names of Windows (NUL, CON, COM1 ...) as any part of the name, and parts of spaces only
// (the file systems drop spaces at the end of a name, so such a part would stand for the
// folder around it: NEW "/a/ /" would create "/a/"). "*" and "?"
// are refused unless `patternsAllowed`: only reading commands may treat them as patterns,
// so no command ever replaces, creates or deletes more than the one item it names.
int RefusedNameError(std::string_view storeName, bool patternsAllowed);

// The existence tests. Each is a directory search with the store path as its pattern, so
// "*" and "?" act as wildcards; a path ending in "\" searches inside that folder.
//  - plain file: a matching entry that is not a folder, nor hidden, nor system;
//  - entry: a matching folder or plain file (neither hidden nor system);
//  - folder: the same as entry; for a folder path it passes for every existing folder,
//    since each holds its own "." entry.
// A search that fails (descriptors used up, a folder that may not be read) throws its
// RuntimeError instead of answering false.
bool PlainFileExists(std::string_view storePath);
bool EntryExists(std::string_view storePath);
bool FolderExists(std::string_view storePath);

}  // namespace pelorin
