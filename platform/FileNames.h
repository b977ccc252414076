// The characters Windows refuses in file names, for both builds.
#pragma once

#include <string_view>

namespace pelorin::platform {

// True when `path` holds a control character (NUL included) or one of < > : " |, or, unless
// `wildcardsAllowed`, a "*" or "?". Separators are not refused. Refusing the same set on
// Linux keeps the answers of both builds alike; ":" would name a data stream on Windows.
bool HasRefusedNameCharacter(std::string_view path, bool wildcardsAllowed);

}  // namespace pelorin::platform
