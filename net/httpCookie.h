// A cookie jar: the owner fills it with ready cookies, and it gives the value of the
// Cookie header for a request address. It holds the owner's objects, not copies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/ObjectTrace.h"
#include "net/httpCookieVariable.h"

namespace pelorin {

class httpCookie {
  public:
    httpCookie() = default;
    httpCookie(const httpCookie&) = delete;
    httpCookie& operator=(const httpCookie&) = delete;

    // Stores a cookie in place of the first one that is the same cookie (SameCookie),
    // otherwise after the last one. Error 91 for a missing cookie.
    void NewCookie(std::shared_ptr<httpCookieVariable> theCookie);
    // "name=value" pairs joined by "; " of the cookies that belong to the address's host
    // and port and to one of its path levels: the deepest level first, within a level in
    // the order stored. "" when none belongs.
    std::string GetString(std::string_view url) const;
    // The number of cookies, which is also the highest used index.
    std::int32_t GetAnzahlCookies() const;
    // The cookie at `index` (1 to GetAnzahlCookies; 0 gives none). Error 9 outside.
    std::shared_ptr<httpCookieVariable> GetCookie(std::int32_t index) const;

  private:
    void AddPairsOfLevel(std::string_view hostPort, std::string_view level,
                         std::string& result) const;

    ObjectTrace trace_{"httpCookie"};
    std::vector<std::shared_ptr<httpCookieVariable>> slots_{1};  // slot 0 stays empty
};

}  // namespace pelorin
