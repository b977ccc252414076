// The tool's store on Windows: the registered component Pelorin_Client.PelorinClient,
// created by its program identifier and called late-bound through IDispatch, as a
// script would call it.
//
// windows.h turns DeleteFile into DeleteFileA; it comes first and the macro is dropped,
// so that the method keeps its name.
#include <windows.h>

#include <oleauto.h>  // needs windows.h first
#undef DeleteFile

#include "client/tool/StoreAccess.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <optional>
#include <utility>

#include "client/PelorinClient.h"
#include "client/com/BstrText.h"

namespace pelorin::tool {
namespace {

constexpr int kCantCreateObject = 429;  // the class is not registered or will not load
constexpr int kNoSuchMethod = 438;

// One argument of a call; it owns its string.
class Argument {
  public:
    explicit Argument(std::int32_t number) {
        VariantInit(&value_);
        V_VT(&value_) = VT_I4;
        V_I4(&value_) = number;
    }
    explicit Argument(const std::string& bytes) {
        VariantInit(&value_);
        V_VT(&value_) = VT_BSTR;
        V_BSTR(&value_) = com::BstrFromBytes(bytes);
        if (V_BSTR(&value_) == nullptr) throw StoreFailure{7, "Out of memory"};
    }
    ~Argument() { VariantClear(&value_); }
    Argument(const Argument&) = delete;
    Argument& operator=(const Argument&) = delete;
    Argument(Argument&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

    const VARIANT& value() const { return value_; }

  private:
    VARIANT value_;
};

// The failure behind an HRESULT: the run-time error facility carries the number in the
// low word; anything else is reported as it is.
StoreFailure FailureOf(HRESULT result, const EXCEPINFO* info) {
    HRESULT code = result;
    std::string text;
    if (info != nullptr) {
        if (info->scode != 0) code = info->scode;
        if (info->bstrDescription != nullptr) text = com::BytesFromBstr(info->bstrDescription);
    }
    const bool runTime = HRESULT_FACILITY(code) == FACILITY_CONTROL;
    const int number = runTime ? static_cast<int>(HRESULT_CODE(code)) : static_cast<int>(code);
    if (text.empty())
        text = "failed with HRESULT " + std::to_string(static_cast<unsigned long>(code));
    return StoreFailure{number, text};
}

class ComStore final : public StoreAccess {
  public:
    ComStore() {
        const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(initialized)) throw FailureOf(initialized, nullptr);
        CLSID clsid{};
        HRESULT result = CLSIDFromProgID(L"Pelorin_Client.PelorinClient", &clsid);
        if (SUCCEEDED(result)) {
            result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                      reinterpret_cast<void**>(&object_));
        }
        if (FAILED(result)) {
            CoUninitialize();
            throw StoreFailure{kCantCreateObject, "ActiveX component can't create object"};
        }
    }
    ~ComStore() override {
        object_->Release();
        CoUninitialize();
    }
    ComStore(const ComStore&) = delete;
    ComStore& operator=(const ComStore&) = delete;

    void SetPort(std::int32_t port) override {
        Call(L"SetPort", Argument(port));
        port_ = port;
    }
    void NewFolder(const std::string& name) override { Call(L"NewFolder", Argument(name)); }
    void NewFile(const std::string& name) override { Call(L"NewFile", Argument(name)); }
    void DeleteFolder(const std::string& name) override { Call(L"DeleteFolder", Argument(name)); }
    void DeleteFile(const std::string& name) override { Call(L"DeleteFile", Argument(name)); }
    std::string DirFolder(const std::string& name) override {
        return TextOf(Call(L"DirFolder", Argument(name)));
    }
    bool DirFile(const std::string& name) override {
        VARIANT result = Call(L"DirFile", Argument(name));
        const bool found = V_VT(&result) == VT_BOOL && V_BOOL(&result) != VARIANT_FALSE;
        VariantClear(&result);
        return found;
    }
    std::string GetFile(const std::string& name) override {
        return TextOf(Call(L"GetFile", Argument(name)));
    }
    void SetFile(const std::string& name, const std::string& content) override {
        Call(L"SetFile", Argument(name), Argument(content));
    }
    // The component's methods hold a content whole; these go through the class itself,
    // which makes the same requests.
    void GetFileTo(const std::string& name, const StoreSink& sink,
                   const StoreProgress& progress) override {
        Streamed([&](PelorinClient& client) { client.GetFileTo(name, sink, progress); });
    }
    void GetFileToFile(const std::string& name, const std::string& path,
                       const StoreProgress& progress) override {
        Streamed([&](PelorinClient& client) { client.GetFileTo(name, path, progress); });
    }
    void SetFileFromFile(const std::string& name, const std::string& path,
                         const StoreProgress& progress) override {
        Streamed([&](PelorinClient& client) { client.SetFileFrom(name, path, progress); });
    }

  private:
    template <class Method>
    void Streamed(const Method& method) {
        PelorinClient client;
        if (port_) client.SetPort(*port_);
        try {
            method(client);
        } catch (const PelorinClientError& e) {
            throw StoreFailure{e.number(), e.what(), client.LastStatus()};
        }
    }

    // Calls a method by name with the arguments in their written order; the caller
    // clears the result.
    template <class... Arguments>
    VARIANT Call(const wchar_t* method, Arguments&&... arguments) {
        DISPID id = 0;
        auto* name = const_cast<LPOLESTR>(method);
        if (FAILED(object_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
            throw StoreFailure{kNoSuchMethod, "Object doesn't support this property or method"};
        }
        // Automation takes the arguments last to first.
        VARIANT values[sizeof...(Arguments) + 1] = {};
        std::size_t index = sizeof...(Arguments);
        ((values[--index] = arguments.value()), ...);
        DISPPARAMS params{values, nullptr, static_cast<UINT>(sizeof...(Arguments)), 0};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception{};
        const HRESULT invoked = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                                &params, &result, &exception, nullptr);
        if (FAILED(invoked)) {
            StoreFailure failure =
                FailureOf(invoked, invoked == DISP_E_EXCEPTION ? &exception : nullptr);
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrDescription);
            SysFreeString(exception.bstrHelpFile);
            throw failure;
        }
        return result;
    }

    static std::string TextOf(VARIANT result) {
        std::string text = V_VT(&result) == VT_BSTR ? com::BytesFromBstr(V_BSTR(&result)) : "";
        VariantClear(&result);
        return text;
    }

    IDispatch* object_ = nullptr;
    std::optional<std::int32_t> port_;
};

}  // namespace

std::unique_ptr<StoreAccess> OpenStoreAccess() {
    return std::make_unique<ComStore>();
}

// Without this the C runtime turns "\n" into "\r\n" on output and stops reading input at
// a Ctrl+Z byte.
void UseBinaryStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool ErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace pelorin::tool
