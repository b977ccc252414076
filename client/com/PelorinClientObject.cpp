#include "client/com/PelorinClientObject.h"

#include <memory>
#include <new>
#include <string>

#include "base/RuntimeError.h"
#include "client/PelorinClient.h"
#include "client/com/BstrText.h"
#include "client/com/ComError.h"
#include "client/com/ComObject.h"
#include "client/com/ModuleState.h"

namespace pelorin::com {
namespace {

class PelorinClientObject final
    : public ComObject<PelorinClientObject, _PelorinClient, ISupportErrorInfo> {
  public:
    PelorinClientObject() : client_(std::make_unique<PelorinClient>()) {}
    ~PelorinClientObject() {
        if (typeInfo_ != nullptr) typeInfo_->Release();
        client_.reset();  // cancels a transport still held
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__PelorinClient) {
            *object = static_cast<_PelorinClient*>(this);
        } else if (iid == IID_ISupportErrorInfo) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    // ISupportErrorInfo: every failure of _PelorinClient comes with an error object.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == IID__PelorinClient ? S_OK : S_FALSE;
    }

    // IDispatch, answered from the type library embedded in this DLL.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        const HRESULT loaded = LoadTypeInfo();
        if (FAILED(loaded)) return loaded;
        typeInfo_->AddRef();
        *info = typeInfo_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        const HRESULT loaded = LoadTypeInfo();
        if (FAILED(loaded)) return loaded;
        return DispGetIDsOfNames(typeInfo_, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* badArgument) override;

    // _PelorinClient
    HRESULT STDMETHODCALLTYPE SetPort(long thePort) override {
        return Guarded([&] { client_->SetPort(thePort); });
    }
    HRESULT STDMETHODCALLTYPE Cancel() override {
        return Guarded([&] { client_->Cancel(); });
    }
    HRESULT STDMETHODCALLTYPE NewFolder(BSTR FileName) override {
        return Guarded([&] { client_->NewFolder(BytesFromBstr(FileName)); });
    }
    HRESULT STDMETHODCALLTYPE NewFile(BSTR FileName) override {
        return Guarded([&] { client_->NewFile(BytesFromBstr(FileName)); });
    }
    HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR FileName) override {
        return Guarded([&] { client_->DeleteFolder(BytesFromBstr(FileName)); });
    }
    HRESULT STDMETHODCALLTYPE DeleteFile(BSTR FileName) override {
        return Guarded([&] { client_->DeleteFile(BytesFromBstr(FileName)); });
    }
    HRESULT STDMETHODCALLTYPE DirFolder(BSTR FileName, BSTR* Result) override {
        return TextResult(Result, [&] { return client_->DirFolder(BytesFromBstr(FileName)); });
    }
    HRESULT STDMETHODCALLTYPE DirFile(BSTR FileName, VARIANT_BOOL* Result) override {
        if (Result == nullptr) return E_POINTER;
        *Result = VARIANT_FALSE;
        return Guarded([&] {
            *Result = client_->DirFile(BytesFromBstr(FileName)) ? VARIANT_TRUE : VARIANT_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE GetFile(BSTR FileName, BSTR* Result) override {
        return TextResult(Result, [&] { return client_->GetFile(BytesFromBstr(FileName)); });
    }
    HRESULT STDMETHODCALLTYPE SetFile(BSTR FileName, BSTR Content) override {
        return Guarded([&] { client_->SetFile(BytesFromBstr(FileName), BytesFromBstr(Content)); });
    }

  private:
    // Runs one call of the store client and turns its failure into the automation error.
    template <class Call>
    HRESULT Guarded(Call call) {
        try {
            call();
            return S_OK;
        } catch (const PelorinClientError& e) {
            return RaiseRunTimeError(e.number(), e.what());
        } catch (const std::bad_alloc&) {
            return RaiseRunTimeError(errors::kOutOfMemory, RuntimeErrorText(errors::kOutOfMemory));
        } catch (const std::exception& e) {
            // Nothing may leave through the interface; anything unforeseen is the
            // generic failure.
            return RaiseRunTimeError(PelorinClient::kFailed, e.what());
        }
    }

    template <class Call>
    HRESULT TextResult(BSTR* result, Call call) {
        if (result == nullptr) return E_POINTER;
        *result = nullptr;
        return Guarded([&] {
            const std::string bytes = call();
            *result = BstrFromBytes(bytes);
            if (*result == nullptr) throw std::bad_alloc();
        });
    }

    HRESULT LoadTypeInfo();

    std::unique_ptr<PelorinClient> client_;
    ITypeInfo* typeInfo_ = nullptr;
};

HRESULT PelorinClientObject::LoadTypeInfo() {
    if (typeInfo_ != nullptr) return S_OK;
    ITypeLib* library = nullptr;
    const std::wstring path = ModulePath();
    HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(result)) return result;
    result = library->GetTypeInfoOfGuid(IID__PelorinClient, &typeInfo_);
    library->Release();
    return result;
}

// A failed method becomes DISP_E_EXCEPTION with its error in EXCEPINFO, which is where
// late-bound callers (scripts) take the error number and description from.
HRESULT STDMETHODCALLTYPE PelorinClientObject::Invoke(DISPID id, REFIID, LCID, WORD flags,
                                                      DISPPARAMS* params, VARIANT* result,
                                                      EXCEPINFO* exception, UINT* badArgument) {
    const HRESULT loaded = LoadTypeInfo();
    if (FAILED(loaded)) return loaded;
    SetErrorInfo(0, nullptr);
    const HRESULT invoked = DispInvoke(static_cast<_PelorinClient*>(this), typeInfo_, id, flags,
                                       params, result, exception, badArgument);
    if (SUCCEEDED(invoked) || invoked == DISP_E_EXCEPTION) return invoked;
    if (HRESULT_FACILITY(invoked) != FACILITY_CONTROL) return invoked;
    if (exception != nullptr) FillExceptionInfo(invoked, *exception);
    return DISP_E_EXCEPTION;
}

}  // namespace

HRESULT CreatePelorinClientObject(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    PelorinClientObject* created = nullptr;
    try {
        created = new PelorinClientObject();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;
    }
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

}  // namespace pelorin::com
