// URL helpers of the HTTP client: splitting an address into host, port and path, and
// walking a path up one level at a time. Addresses are plain "http://" addresses; the
// scheme is optional and nothing is unescaped.
#pragma once

#include <string>
#include <string_view>

namespace pelorin {

// The parts of an address, as SplitURL gives them.
struct URLParts {
    std::string HostPort;  // host + ":" + port; ":80" added when the address names no port
    std::string PortText;  // the port as decimal text, "80" when none is named
    std::string HostText;  // the host alone
    std::string PathText;  // from the first "/" after the host on, or "/"
    std::string FullURL;   // "http://" + HostPort + PathText
};

// The address without a leading "http://" (in any letter case).
std::string_view WithoutScheme(std::string_view address);

// Splits an address without scheme at its first "/": the host part before it and the
// path from it on ("/" when there is none).
void SplitHostAndPath(std::string_view address, std::string_view& hostPart, std::string_view& path);

URLParts SplitURL(std::string_view url);

// The path one level up, "/" as the separator, without leading or trailing separators.
// "/" and "\" both separate: "/a/b/c.html" gives "a/b", "/a/" and "" give "".
std::string ParentPath(std::string_view path);

}  // namespace pelorin
