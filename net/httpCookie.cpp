#include "net/httpCookie.h"

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "net/URL_Modul.h"

namespace pelorin {

void httpCookie::NewCookie(std::shared_ptr<httpCookieVariable> theCookie) {
    if (!theCookie) throw RuntimeError(errors::kObjectVariableNotSet);
    for (std::size_t i = 1; i < slots_.size(); ++i) {
        if (SameCookie(slots_[i].get(), theCookie.get())) {
            slots_[i] = std::move(theCookie);
            return;
        }
    }
    slots_.push_back(std::move(theCookie));
}

std::string httpCookie::GetString(std::string_view url) const {
    const URLParts parts = SplitURL(url);
    std::string result;
    // The address's own path first (file name included), then each folder above it up
    // to "/". Every step makes the level shorter, so the walk ends.
    std::string level = parts.PathText;
    for (;;) {
        AddPairsOfLevel(parts.HostPort, level, result);
        if (level == "/") break;
        level = "/" + ParentPath(level);
        if (level.back() != '/') level += '/';
    }
    return result;
}

void httpCookie::AddPairsOfLevel(std::string_view hostPort, std::string_view level,
                                 std::string& result) const {
    for (std::size_t i = 1; i < slots_.size(); ++i) {
        const httpCookieVariable& cookie = *slots_[i];
        if (!EqualsIgnoreCase(cookie.Domain, hostPort) || !EqualsIgnoreCase(cookie.Path, level))
            continue;
        if (!result.empty()) result += "; ";
        result += cookie.myName + "=" + cookie.myValue;
    }
}

std::int32_t httpCookie::GetAnzahlCookies() const {
    return static_cast<std::int32_t>(slots_.size() - 1);
}

std::shared_ptr<httpCookieVariable> httpCookie::GetCookie(std::int32_t index) const {
    if (index < 0 || index > GetAnzahlCookies()) throw RuntimeError(errors::kSubscriptOutOfRange);
    return slots_[static_cast<std::size_t>(index)];
}

}  // namespace pelorin
