// Automation strings at the component's boundary. The store's texts are bytes, one per
// character, converted through the system's 8-bit (ANSI) code page, as the store's other
// callers do. With a single-byte code page every byte value (binary file contents too)
// survives the round trip; a character the code page lacks becomes its best fit or "?".
#pragma once

#include <windows.h>

#include <oleauto.h>  // needs windows.h first

#include <string>
#include <string_view>

namespace pelorin::com {

std::string BytesFromBstr(BSTR text);
// nullptr when out of memory.
BSTR BstrFromBytes(std::string_view bytes);
// For texts of the component itself (error descriptions, names).
BSTR BstrFromAscii(std::string_view text);

}  // namespace pelorin::com
