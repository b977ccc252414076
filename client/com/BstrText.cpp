#include "client/com/BstrText.h"

#include <climits>

namespace pelorin::com {

namespace {

// The conversions take int lengths; larger texts cannot cross the boundary.
bool FitsInt(std::size_t length) {
    return length <= static_cast<std::size_t>(INT_MAX);
}

}  // namespace

std::string BytesFromBstr(BSTR text) {
    // A null BSTR is the empty string by automation rules.
    const UINT length = text == nullptr ? 0 : SysStringLen(text);
    if (length == 0 || !FitsInt(length)) return {};
    const int wide = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, wide, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

BSTR BstrFromBytes(std::string_view bytes) {
    if (!FitsInt(bytes.size())) return nullptr;
    const int count = static_cast<int>(bytes.size());
    const int size =
        count == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, nullptr, 0);
    if (size < 0 || (count != 0 && size == 0)) return nullptr;
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(size));
    if (text == nullptr || size == 0) return text;
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, text, size);
    return text;
}

BSTR BstrFromAscii(std::string_view text) {
    return BstrFromBytes(text);
}

}  // namespace pelorin::com
