// The reference counting every COM object of this DLL shares: the count starts at 1 for
// the creator, the last Release deletes the object through its own type, and while the
// object lives it keeps the DLL in use.
#pragma once

#include "client/com/ComApi.h"
#include "client/com/ModuleState.h"

namespace pelorin::com {

template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
  public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(left);
    }

  protected:
    ComObject() { AddModuleReference(); }
    ~ComObject() { ReleaseModuleReference(); }

  private:
    LONG references_ = 1;
};

}  // namespace pelorin::com
