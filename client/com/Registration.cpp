#include "client/com/Registration.h"

#include <string>

#include "client/com/ModuleState.h"

namespace pelorin::com {
namespace {

constexpr wchar_t kClassName[] = L"PelorinClient";
constexpr WORD kLibraryMajor = 1;
constexpr WORD kLibraryMinor = 0;

// The 32-bit and the 64-bit DLL register the same class, each into the registry view of
// its bitness. On 64-bit Windows the class keys of the two views are apart, while the
// program identifier and the type library keys are shared: one platform subkey (win32,
// win64) per DLL under the same library version. The embedded type library is made for
// this DLL's platform, which is the one RegisterTypeLib registers it for.
constexpr bool kIs64Bit = sizeof(void*) == 8;
constexpr SYSKIND kPlatform = kIs64Bit ? SYS_WIN64 : SYS_WIN32;
constexpr const wchar_t* kPlatformKey = kIs64Bit ? L"win64" : L"win32";
constexpr REGSAM kOtherView = kIs64Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClassKey() {
    return L"CLSID\\" + GuidText(CLSID_PelorinClient);
}

// Creates HKCR\key and sets one value (name nullptr: the default value).
HRESULT SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &handle, nullptr);
    if (status == ERROR_SUCCESS) {
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(handle, name, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()), bytes);
        RegCloseKey(handle);
    }
    return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT DeleteTree(const std::wstring& key) {
    const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return S_OK;
    return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT WriteClassEntries(const std::wstring& modulePath) {
    const std::wstring classKey = ClassKey();
    const std::wstring progId = kProgId;
    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } entries[] = {
        {classKey, nullptr, kClassName},
        {classKey + L"\\InprocServer32", nullptr, modulePath},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", nullptr, progId},
        {classKey + L"\\VersionIndependentProgID", nullptr, progId},
        {classKey + L"\\TypeLib", nullptr, GuidText(LIBID_Pelorin_Client)},
        {classKey + L"\\Version", nullptr, L"1.0"},
        {progId, nullptr, kClassName},
        {progId + L"\\CLSID", nullptr, GuidText(CLSID_PelorinClient)},
    };
    for (const auto& entry : entries) {
        const HRESULT result = SetValue(entry.key, entry.name, entry.value);
        if (FAILED(result)) return result;
    }
    return S_OK;
}

// The type library is read from this DLL's resources; registering it also writes the
// Interface entries of _PelorinClient with the automation marshaler.
HRESULT RegisterLibrary(const std::wstring& modulePath) {
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library);
    if (FAILED(result)) return result;
    std::wstring path = modulePath;
    result = RegisterTypeLib(library, path.data(), nullptr);
    library->Release();
    return result;
}

bool KeyExists(const std::wstring& key, REGSAM view = 0) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, &handle) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

// Where RegisterTypeLib put this DLL's path: under the library's version, neutral locale,
// this DLL's platform.
std::wstring LibraryPlatformKey() {
    return L"TypeLib\\" + GuidText(LIBID_Pelorin_Client) + L"\\" + std::to_wstring(kLibraryMajor) +
           L"." + std::to_wstring(kLibraryMinor) + L"\\0\\" + kPlatformKey;
}

HRESULT UnregisterLibrary() {
    // A library that is not registered for this platform (any more) is what we want.
    if (!KeyExists(LibraryPlatformKey())) return S_OK;
    return UnRegisterTypeLib(LIBID_Pelorin_Client, kLibraryMajor, kLibraryMinor, LOCALE_NEUTRAL,
                             kPlatform);
}

}  // namespace

HRESULT RegisterServer() {
    const std::wstring modulePath = ModulePath();
    if (modulePath.empty()) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT result = WriteClassEntries(modulePath);
    if (SUCCEEDED(result)) result = RegisterLibrary(modulePath);
    if (FAILED(result)) UnregisterServer();
    return SUCCEEDED(result) ? S_OK : result;
}

// The shared entries go only with the last DLL that serves the class: while the other
// view still has it, the DLL of the other bitness keeps using them. (Without a second
// view, as on 32-bit Windows, the other view is this one, whose class key is gone by
// then.)
HRESULT UnregisterServer() {
    HRESULT result = DeleteTree(ClassKey());
    HRESULT shared = S_OK;
    if (KeyExists(ClassKey(), kOtherView)) {
        // Only this platform's path of the type library: the other DLL still uses the
        // library's version key and the interface entries (which UnRegisterTypeLib
        // removes from both views).
        shared = DeleteTree(LibraryPlatformKey());
    } else {
        shared = DeleteTree(kProgId);
        const HRESULT library = UnregisterLibrary();
        if (SUCCEEDED(shared)) shared = library;
    }
    if (SUCCEEDED(result)) result = shared;
    return result;
}

}  // namespace pelorin::com
