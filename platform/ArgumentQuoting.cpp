#include "platform/ArgumentQuoting.h"

namespace pelorin::platform {

std::string QuoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;  // the run just before the current character
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\');  // they stand before the closing quote
    quoted += '"';
    return quoted;
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        line += QuoteArgument(argument);
    }
    return line;
}

}  // namespace pelorin::platform
