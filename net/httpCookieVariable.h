// One cookie as its owner put it together: name, value and where it belongs.
#pragma once

#include <string>

#include "diagnostics/ObjectTrace.h"

namespace pelorin {

class httpCookieVariable {
  private:
    ObjectTrace trace_{"httpCookieVariable"};

  public:
    std::string myName;
    std::string myValue;
    // Compared case-insensitively with each path level of a request address.
    std::string Path;
    // host + ":" + port, compared case-insensitively with the request's host and port.
    std::string Domain;
    // Kept for the owner only: nothing reads them, and expired or secure-only cookies
    // are sent like any other.
    std::string Expires;
    bool Secure = false;
};

// True when both belong to the same Domain and Path (letter case ignored) and carry
// exactly the same name. Error 91 when either is missing.
bool SameCookie(const httpCookieVariable* a, const httpCookieVariable* b);

}  // namespace pelorin
