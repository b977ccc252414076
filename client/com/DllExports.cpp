// The four entry points of the in-process server; Pelorin_Client.def exports exactly
// these. DllMain only notes the module handle for the registration and type library.
#include "client/com/ClassFactory.h"
#include "client/com/ModuleState.h"
#include "client/com/Registration.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        pelorin::com::SetModuleHandle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllRegisterServer() {
    return pelorin::com::RegisterServer();
}

STDAPI DllUnregisterServer() {
    return pelorin::com::UnregisterServer();
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_PelorinClient) return CLASS_E_CLASSNOTAVAILABLE;
    return pelorin::com::GetPelorinClientFactory(iid, object);
}

STDAPI DllCanUnloadNow() {
    return pelorin::com::ModuleInUse() ? S_FALSE : S_OK;
}

}  // extern "C"
