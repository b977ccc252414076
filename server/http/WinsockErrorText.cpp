#include "server/http/WinsockErrorText.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace pelorin {
namespace {

struct ErrorText {
    std::int32_t number;
    std::string_view text;
};

constexpr std::array<ErrorText, 11> kControlTexts = {{
    {10013, "Permission denied"},
    {10022, "Invalid argument"},
    {10024, "Too many open sockets"},
    {10048, "Address in use"},
    {10049, "Address not available"},
    {10053, "Connection is aborted due to timeout or other failure"},
    {10054, "Connection is reset by remote side"},
    {10055, "No buffer space is available"},
    {10057, "Socket is not connected"},
    {10058, "Socket has been shut down"},
    {10060, "Attempt to connect timed out"},
}};

}  // namespace

std::string WinsockControlErrorText(std::int32_t number) {
    const auto it = std::find_if(kControlTexts.begin(), kControlTexts.end(),
                                 [number](const ErrorText& e) { return e.number == number; });
    return it != kControlTexts.end() ? std::string(it->text)
                                     : "Socket error " + std::to_string(number);
}

}  // namespace pelorin
