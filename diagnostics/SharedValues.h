// Values the start routines set once and every component reads: the line break and the
// program folder. They exist once per thread (the client library is apartment-threaded;
// the server program has one thread).
#pragma once

#include <string>
#include <string_view>

namespace pelorin {

const std::string& LineBreak();
void SetLineBreak(std::string_view lineBreak);

// The program's folder, always ending in a separator; "" until the start routine set it.
const std::string& ProgramFolderPath();
void SetProgramFolderPath(std::string_view folder);

}  // namespace pelorin
