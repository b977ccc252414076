#include "client/com/ComError.h"

#include <oleauto.h>

#include "client/com/BstrText.h"
#include "client/com/ComApi.h"

namespace pelorin::com {
namespace {

// Builds the error object; nothing is set when the system cannot create one.
void SetThreadErrorInfo(std::string_view description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return;
    BSTR source = BstrFromAscii(kErrorSource);
    BSTR text = BstrFromAscii(description);
    create->SetGUID(IID__PelorinClient);
    create->SetSource(source);
    create->SetDescription(text);
    SysFreeString(source);
    SysFreeString(text);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

}  // namespace

HRESULT RunTimeErrorResult(int number) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number) & 0xFFFFu);
}

HRESULT RaiseRunTimeError(int number, std::string_view description) {
    SetThreadErrorInfo(description);
    return RunTimeErrorResult(number);
}

void FillExceptionInfo(HRESULT result, EXCEPINFO& info) {
    info = EXCEPINFO{};
    info.scode = result;
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) != S_OK || error == nullptr) return;
    error->GetSource(&info.bstrSource);
    error->GetDescription(&info.bstrDescription);
    error->Release();
}

}  // namespace pelorin::com
