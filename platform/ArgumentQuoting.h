// Separate arguments written as one command line, the way Windows programs pass them on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelorin::platform {

// The argument as it stands in a command line that is read with Windows' rules (a space
// outside double quotes ends an argument, a double quote toggles quoting, 2n+1
// backslashes before a double quote give n backslashes and the quote itself, backslashes
// elsewhere are themselves): as it is when it holds no space and no double quote, else in
// double quotes, with each double quote escaped and the backslashes before an escaped or
// the closing quote doubled. An empty argument gives "".
std::string QuoteArgument(std::string_view argument);

// The quoted arguments, one space between each two.
std::string JoinArguments(const std::vector<std::string>& arguments);

}  // namespace pelorin::platform
