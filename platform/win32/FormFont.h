// The font a form made for its controls lives as a property of the form (an HFONT), so
// that DestroyWin can delete it once the form and its controls are gone.
#pragma once

namespace pelorin::platform::win32 {

inline constexpr char kFormFontProperty[] = "Pelorin.FormFont";

}  // namespace pelorin::platform::win32
