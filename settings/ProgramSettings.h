// The program's settings: what the start routine (the server's or the client library's)
// sets once and every component reads. The diagnostics read them too, which is why they
// sit below the diagnostics and not in a program folder. They exist once per thread (the
// client library is apartment-threaded; the server program has one thread).
#pragma once

#include <string>
#include <string_view>

namespace pelorin {

const std::string& LineBreak();
void SetLineBreak(std::string_view lineBreak);

// The program's folder, always ending in a separator; "" until the start routine set it.
const std::string& ProgramFolderPath();
void SetProgramFolderPath(std::string_view folder);

// The store's folder: "data" in the program's folder.
const std::string& DataFolder();

// Set while the program unloads: the debug window then closes and takes no more lines,
// and the server window's close no longer starts the unload again.
void SetUnloading(bool unloading);
bool IsUnloading();

}  // namespace pelorin
