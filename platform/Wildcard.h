// Windows' file name wildcard rules, for the Linux directory search and for tests.
#pragma once

#include <string_view>

namespace pelorin::platform {

// True when `name` matches `pattern` as FindFirstFile matches it: letters compared
// without regard to case, "*" any run of characters, "?" one character (or none before a
// "." or at the end of the name), "*.*" and "*" every name, "." and ".." included.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

bool HasWildcard(std::string_view text);

}  // namespace pelorin::platform
