#include "client/com/ClassFactory.h"

#include <new>

#include "client/com/ComObject.h"
#include "client/com/ModuleState.h"
#include "client/com/PelorinClientObject.h"

namespace pelorin::com {
namespace {

class PelorinClientFactory final : public ComObject<PelorinClientFactory, IClassFactory> {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return CreatePelorinClientObject(iid, object);
    }
    // A lock keeps the DLL loaded; the factory's own count is not touched.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            AddModuleReference();
        } else {
            ReleaseModuleReference();
        }
        return S_OK;
    }
};

}  // namespace

HRESULT GetPelorinClientFactory(REFIID iid, void** factory) {
    if (factory == nullptr) return E_POINTER;
    *factory = nullptr;
    auto* created = new (std::nothrow) PelorinClientFactory();
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = created->QueryInterface(iid, factory);
    created->Release();
    return result;
}

}  // namespace pelorin::com
