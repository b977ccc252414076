#include "net/URL_Modul.h"

#include "base/Text.h"

namespace pelorin {
namespace {

constexpr std::string_view kScheme = "HTTP://";

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

std::string_view WithoutScheme(std::string_view address) {
    if (EqualsIgnoreCase(address.substr(0, kScheme.size()), kScheme)) {
        address.remove_prefix(kScheme.size());
    }
    return address;
}

void SplitHostAndPath(std::string_view address, std::string_view& hostPart,
                      std::string_view& path) {
    const std::size_t slash = address.find('/');
    if (slash == std::string_view::npos) {
        hostPart = address;
        path = "/";
    } else {
        hostPart = address.substr(0, slash);
        path = address.substr(slash);
    }
}

URLParts SplitURL(std::string_view url) {
    std::string_view hostPart, path;
    SplitHostAndPath(WithoutScheme(url), hostPart, path);
    URLParts parts;
    parts.PathText = path;
    const std::size_t colon = hostPart.find(':');
    if (colon == std::string_view::npos) {
        parts.PortText = "80";
        parts.HostText = hostPart;
        parts.HostPort = std::string(hostPart) + ":80";
    } else {
        parts.PortText = NumberText(Val(hostPart.substr(colon + 1)));
        parts.HostText = hostPart.substr(0, colon);
        parts.HostPort = hostPart;
    }
    parts.FullURL = "http://" + parts.HostPort + parts.PathText;
    return parts;
}

std::string ParentPath(std::string_view path) {
    std::size_t first = 0;
    while (first < path.size() && IsSeparator(path[first])) ++first;
    std::size_t end = path.size();
    while (end > first && IsSeparator(path[end - 1])) --end;
    const std::string_view inner = path.substr(first, end - first);

    std::size_t last = inner.size();
    while (last > 0 && !IsSeparator(inner[last - 1])) --last;
    if (last == 0) return "";
    std::string parent(inner.substr(0, last - 1));
    for (char& c : parent) {
        if (c == '\\') c = '/';
    }
    return parent;
}

}  // namespace pelorin
