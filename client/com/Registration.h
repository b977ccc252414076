// The component's entries in the system registry: the class with its in-process server
// (apartment threading), the program identifier, and the type library with its interface.
#pragma once

#include "client/com/ComApi.h"

namespace pelorin::com {

inline constexpr wchar_t kProgId[] = L"Pelorin_Client.PelorinClient";

// Writes every entry. On failure nothing of it is left behind.
HRESULT RegisterServer();
// Removes every entry; entries that are already missing are no failure.
HRESULT UnregisterServer();

}  // namespace pelorin::com
