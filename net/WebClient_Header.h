// The ordered list of HTTP headers shared by the web client and the HTTP server. It holds
// references: a header appended or stored is the caller's object, and later changes to it
// show in the list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/ObjectTrace.h"

namespace pelorin {

// One header: a name and a value, neither checked, folded nor trimmed.
class OneHeader {
  public:
    std::string TheName;
    std::string TheValue;

  private:
    ObjectTrace trace_{"OneHeader"};
};

// A new header with the given name and value.
std::shared_ptr<OneHeader> CreateHeader(std::string_view name, std::string_view value);

// Headers in slots 1 to Anzahl (32,000 at most). Slots are made only as they are used,
// so a list with one header costs one slot, not 32,000.
class WebClient_Header {
  public:
    static constexpr std::int32_t kMaxHeaders = 32000;

    WebClient_Header() = default;
    ~WebClient_Header();
    WebClient_Header(const WebClient_Header&) = delete;
    WebClient_Header& operator=(const WebClient_Header&) = delete;

    // The count; writing it changes the count only, not the slots.
    std::int32_t Anzahl = 0;

    // The header in slot `index` (empty for an empty slot). Error 9 outside 1..32000.
    std::shared_ptr<OneHeader> GetHeader(std::int32_t index) const;
    // Stores into slot `index`; the count is not changed. Error 9 outside 1..32000.
    void SetHeader(std::int32_t index, std::shared_ptr<OneHeader> header);
    // Empties slots 1 to Anzahl and sets the count to 0.
    void DeleteHeaders();
    // Appends after the last counted header. Error 9 on a full list, which keeps its count.
    void NewHeader(std::shared_ptr<OneHeader> header);
    // The value of the first header, from slot 1 on, whose name is exactly `name`; "".
    std::string GetHeaderValue(std::string_view name) const;
    // The header in slot Anzahl. Error 9 on an empty list.
    std::shared_ptr<OneHeader> GetLastHeader() const;

  private:
    static void CheckIndex(std::int32_t index);

    ObjectTrace trace_{"WebClient_Header"};
    std::vector<std::shared_ptr<OneHeader>> slots_;  // slots_[i - 1] is slot i
};

}  // namespace pelorin
