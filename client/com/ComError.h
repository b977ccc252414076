// Failures as automation callers see them: the HRESULT of the run-time error facility
// (0x800A0000 + number, which scripting clients read back as the number) and an error
// object with the description and the component's name as source.
#pragma once

#include <windows.h>

#include <oaidl.h>  // needs windows.h first

#include <string_view>

namespace pelorin::com {

// Source of every error the component raises.
inline constexpr std::string_view kErrorSource = "Pelorin_Client.PelorinClient";

HRESULT RunTimeErrorResult(int number);
// Sets the thread's error object and returns RunTimeErrorResult(number).
HRESULT RaiseRunTimeError(int number, std::string_view description);
// Fills EXCEPINFO from the thread's error object, for late-bound callers.
void FillExceptionInfo(HRESULT result, EXCEPINFO& info);

}  // namespace pelorin::com
