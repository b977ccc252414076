#include "net/httpCookieVariable.h"

#include "base/RuntimeError.h"
#include "base/Text.h"

namespace pelorin {

bool SameCookie(const httpCookieVariable* a, const httpCookieVariable* b) {
    if (a == nullptr || b == nullptr) throw RuntimeError(errors::kObjectVariableNotSet);
    return EqualsIgnoreCase(a->Domain, b->Domain) && EqualsIgnoreCase(a->Path, b->Path) &&
           a->myName == b->myName;
}

}  // namespace pelorin
