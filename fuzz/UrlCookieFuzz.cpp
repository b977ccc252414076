// Addresses split into their parts, paths walked up, and a cookie jar asked for an
// address's Cookie header. The input is text lines: the first is the address, each
// further line a cookie "name=value;path;domain" (missing parts empty).
//
// The parts put together give the address again; each step up a path is shorter, so the
// walk ends; a cookie is sent at most once, and only for its own host and a level of the
// address's path; a cookie stored again replaces its first twin.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Text.h"
#include "fuzz/FuzzInput.h"
#include "net/Parameter.h"
#include "net/URL_Modul.h"
#include "net/httpCookie.h"

namespace pelorin::fuzz {
namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

void CheckParts(std::string_view url) {
    const URLParts parts = SplitURL(url);
    const std::string_view bare = WithoutScheme(url);
    Require(parts.FullURL == "http://" + parts.HostPort + parts.PathText, "the full address");
    Require(parts.PathText.starts_with('/'), "a path starts at its separator");
    Require(parts.HostText.find_first_of("/:") == std::string::npos, "the host alone");
    Require(!parts.PortText.empty(), "a port always");
    const bool portNamed = bare.substr(0, bare.find('/')).find(':') != std::string_view::npos;
    const std::string hostPart = portNamed ? parts.HostPort : parts.HostText;
    const bool pathNamed = bare.find('/') != std::string_view::npos;
    Require(bare == hostPart + (pathNamed ? parts.PathText : ""), "the parts give the address");
}

// Each step up is shorter and starts with no separator, so a walk ends.
std::size_t WalkUp(std::string_view path) {
    std::string level(path);
    std::size_t steps = 0;
    while (!level.empty()) {
        const std::string parent = ParentPath(level);
        Require(parent.size() < level.size(), "a step up is shorter");
        Require(parent.find('\\') == std::string::npos, "one kind of separator");
        Require(!parent.starts_with('/'), "no leading separator");
        level = parent;
        ++steps;
    }
    return steps;
}

// The levels of an address's path: the path itself, then each folder above it down to
// "/".
std::vector<std::string> Levels(const std::string& path) {
    std::vector<std::string> levels{path};
    while (levels.back() != "/") {
        std::string level = "/" + ParentPath(levels.back());
        if (!level.ends_with('/')) level += '/';
        Require(level.size() < levels.back().size() || levels.back().size() == 1,
                "each level is shorter");
        levels.push_back(level);
    }
    return levels;
}

void CheckJar(std::string_view url, const std::vector<std::string_view>& cookieLines) {
    httpCookie jar;
    Parameter names;
    for (const std::string_view line : cookieLines) {
        // Split at ";", so neither name nor value holds the header's "; ".
        const std::vector<std::string_view> fields = Split(line, ';');
        const std::vector<std::string_view> pair = Split(fields[0], '=');
        auto cookie = std::make_shared<httpCookieVariable>();
        cookie->myName = pair[0];
        cookie->myValue = pair.size() > 1 ? fields[0].substr(pair[0].size() + 1) : "";
        cookie->Path = fields.size() > 1 ? fields[1] : "";
        cookie->Domain = fields.size() > 2 ? fields[2] : "";
        const std::int32_t before = jar.GetAnzahlCookies();
        std::int32_t twin = 0;
        for (std::int32_t i = before; i >= 1; --i) {
            if (SameCookie(jar.GetCookie(i).get(), cookie.get())) twin = i;
        }
        jar.NewCookie(cookie);
        Require(jar.GetAnzahlCookies() == before + (twin != 0 ? 0 : 1), "a twin is replaced");
        Require(jar.GetCookie(twin != 0 ? twin : before + 1) == cookie, "in its twin's slot");
        names.AddParameter(cookie->myName);
    }
    Require(names.GetAnzahlParameter() == static_cast<std::int32_t>(cookieLines.size()),
            "every text is counted");
    Require(names.GetParameter(0).empty() && names.GetParameter(-1).empty() &&
                names.GetParameter(names.GetAnzahlParameter() + 1).empty(),
            "outside the list there is nothing");

    // The pairs expected, deepest level first, slot order within a level.
    const URLParts parts = SplitURL(url);
    std::string expected;
    for (const std::string& level : Levels(parts.PathText)) {
        for (std::int32_t i = 1; i <= jar.GetAnzahlCookies(); ++i) {
            const auto cookie = jar.GetCookie(i);
            if (!EqualsIgnoreCase(cookie->Domain, parts.HostPort) ||
                !EqualsIgnoreCase(cookie->Path, level)) {
                continue;
            }
            if (!expected.empty()) expected += "; ";
            expected += cookie->myName + "=" + cookie->myValue;
        }
    }
    Require(jar.GetString(url) == expected, "each cookie of the address once, deepest first");
}

}  // namespace
}  // namespace pelorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pelorin;
    using namespace pelorin::fuzz;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> lines = Split(text, '\n');
    const std::string_view url = lines.front();
    lines.erase(lines.begin());
    CheckParts(url);
    const std::size_t steps = WalkUp(SplitURL(url).PathText);
    Require(steps <= url.size() + 1, "a walk up ends");
    CheckJar(url, lines);
    return 0;
}
