// The component Pelorin_Client.dll as a COM client sees it, loaded the way COM loads it
// (LoadLibrary + DllGetClassObject, no registration needed): its exports, its embedded
// type library, the class factory, early- and late-bound calls, and the failures callers
// read (the error numbers 5 and 91 and the error object).
#include "client/com/ComApi.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client/com/BstrText.h"
#include "testing/ScriptedHttpServer.h"

namespace pelorin {
namespace {

using testing::AnswerBytes;
using testing::ScriptedHttpServer;

constexpr HRESULT kErrorFailed = static_cast<HRESULT>(0x800A0005);
constexpr HRESULT kErrorCancelled = static_cast<HRESULT>(0x800A005B);

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();

// Function pointers from GetProcAddress, through an address rather than a function
// pointer type of another calling convention.
template <class Function>
Function Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A BSTR that frees itself.
class Text {
  public:
    explicit Text(const std::string& bytes) : text_(com::BstrFromBytes(bytes)) {}
    Text() = default;
    ~Text() { SysFreeString(text_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    BSTR get() const { return text_; }
    BSTR* out() { return &text_; }
    std::string bytes() const { return com::BytesFromBstr(text_); }

  private:
    BSTR text_ = nullptr;
};

class ComComponentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        module = LoadLibraryA("Pelorin_Client.dll");
        ASSERT_NE(module, nullptr);
        getClassObject = Entry<GetClassObjectFunction>(module, "DllGetClassObject");
        canUnloadNow = Entry<CanUnloadNowFunction>(module, "DllCanUnloadNow");
        ASSERT_NE(getClassObject, nullptr);
        ASSERT_NE(canUnloadNow, nullptr);
    }
    void TearDown() override {
        if (client != nullptr) client->Release();
        if (module != nullptr) FreeLibrary(module);
        CoUninitialize();
    }

    // A new object on the test server's port.
    void Create() {
        IClassFactory* factory = nullptr;
        ASSERT_EQ(getClassObject(CLSID_PelorinClient, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory)),
                  S_OK);
        ASSERT_EQ(
            factory->CreateInstance(nullptr, IID__PelorinClient, reinterpret_cast<void**>(&client)),
            S_OK);
        factory->Release();
        ASSERT_EQ(client->SetPort(server.port()), S_OK);
    }

    // The description of the thread's error object, "" when there is none.
    static std::string ErrorDescription(std::string* source = nullptr) {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return "";
        Text description;
        Text origin;
        info->GetDescription(description.out());
        info->GetSource(origin.out());
        info->Release();
        if (source != nullptr) *source = origin.bytes();
        return description.bytes();
    }

    HMODULE module = nullptr;
    GetClassObjectFunction getClassObject = nullptr;
    CanUnloadNowFunction canUnloadNow = nullptr;
    ScriptedHttpServer server;
    _PelorinClient* client = nullptr;
};

TEST_F(ComComponentTest, ExportsExactlyTheFourEntryPoints) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> exported;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        exported.insert(reinterpret_cast<const char*>(base + names[i]));
    }
    EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                               "DllRegisterServer", "DllUnregisterServer"}));
    EXPECT_EQ(exports->NumberOfFunctions, 4u);
}

TEST_F(ComComponentTest, TheTypeLibraryIsEmbeddedWithItsFixedIdentity) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(module, path, MAX_PATH), 0u);
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(path, REGKIND_NONE, &library), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_Pelorin_Client));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);  // its own
    library->ReleaseTLibAttr(attributes);
    Text name;
    ASSERT_EQ(library->GetDocumentation(-1, name.out(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.bytes(), "Pelorin_Client");

    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_PelorinClient, &coclass), S_OK);
    Text className;
    coclass->GetDocumentation(MEMBERID_NIL, className.out(), nullptr, nullptr, nullptr);
    EXPECT_EQ(className.bytes(), "PelorinClient");
    coclass->Release();

    ITypeInfo* interfaceInfo = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID__PelorinClient, &interfaceInfo), S_OK);
    TYPEATTR* type = nullptr;
    ASSERT_EQ(interfaceInfo->GetTypeAttr(&type), S_OK);
    EXPECT_NE(type->wTypeFlags & TYPEFLAG_FDUAL, 0);
    interfaceInfo->ReleaseTypeAttr(type);
    interfaceInfo->Release();
    library->Release();
}

TEST_F(ComComponentTest, TheFactoryMakesOnlyPelorinClientAndCountsWhatLives) {
    void* object = nullptr;
    EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        getClassObject(CLSID_PelorinClient, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    IUnknown* outer = factory;
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &object), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // the object still lives
    auto* dispatch = static_cast<IDispatch*>(object);
    ISupportErrorInfo* support = nullptr;
    ASSERT_EQ(dispatch->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)),
              S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__PelorinClient), S_OK);
    support->Release();
    dispatch->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

// Texts cross the interface through the 8-bit code page: every byte value survives a
// read followed by a write, and a character the code page maps goes out as its byte.
TEST_F(ComComponentTest, EarlyBoundCallsCarryEveryByteValue) {
    Create();
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<char>(i);

    server.QueueAnswer(AnswerBytes(200, "OK", all));
    Text body;
    Text name("f");
    ASSERT_EQ(client->GetFile(name.get(), body.out()), S_OK);
    ASSERT_EQ(SysStringLen(body.get()), 256u);
    for (UINT i = 0; i < 128; ++i) EXPECT_EQ(body.get()[i], static_cast<wchar_t>(i));

    server.QueueAnswer(AnswerBytes(200, "OK"));
    ASSERT_EQ(client->SetFile(name.get(), body.get()), S_OK);
    const std::string& request = server.requests().back();
    EXPECT_EQ(request.substr(request.size() - 256), all);

    if (GetACP() != 1252) GTEST_SKIP() << "the euro sign is checked with code page 1252";
    const wchar_t wide[] = {L'a', 0x20AC, L'b'};
    BSTR euro = SysAllocStringLen(wide, 3);
    server.QueueAnswer(AnswerBytes(200, "OK"));
    ASSERT_EQ(client->SetFile(name.get(), euro), S_OK);
    SysFreeString(euro);
    EXPECT_EQ(server.requests().back().substr(server.requests().back().size() - 3),
              "a\x80"
              "b");
}

TEST_F(ComComponentTest, FailuresAreRunTimeErrorsWithAnErrorObject) {
    Create();
    Text name("f");
    Text body;
    server.QueueAnswer(AnswerBytes(404, "Not Found"));
    EXPECT_EQ(client->GetFile(name.get(), body.out()), kErrorFailed);
    EXPECT_EQ(body.get(), nullptr);
    std::string source;
    EXPECT_EQ(ErrorDescription(&source), "Invalid procedure call or argument");
    EXPECT_EQ(source, "Pelorin_Client.PelorinClient");

    EXPECT_EQ(client->Cancel(), S_OK);
    EXPECT_EQ(client->GetFile(name.get(), body.out()), kErrorCancelled);
    EXPECT_EQ(ErrorDescription(), "Object variable or With block variable not set");
    EXPECT_EQ(client->Cancel(), kErrorCancelled);
    EXPECT_EQ(client->SetPort(9000), S_OK);
    EXPECT_EQ(client->DirFile(name.get(), nullptr), E_POINTER);
}

// Late-bound callers get DISP_E_EXCEPTION with the error in EXCEPINFO.
TEST_F(ComComponentTest, LateBoundCallsReportErrorsInExceptionInfo) {
    Create();
    IDispatch* dispatch = client;
    std::vector<const wchar_t*> methods = {L"SetPort",      L"Cancel",     L"NewFolder", L"NewFile",
                                           L"DeleteFolder", L"DeleteFile", L"DirFolder", L"DirFile",
                                           L"GetFile",      L"SetFile"};
    std::set<DISPID> ids;
    for (const wchar_t* method : methods) {
        DISPID id = DISPID_UNKNOWN;
        auto* name = const_cast<LPOLESTR>(method);
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), methods.size());

    DISPID dirFile = 0;
    auto* name = const_cast<LPOLESTR>(L"dirfile");  // names ignore letter case
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dirFile), S_OK);
    Text argumentText("f");
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = argumentText.get();
    DISPPARAMS params{&argument, nullptr, 1, 0};

    server.QueueAnswer(AnswerBytes(200, "OK", "Found"));
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(dispatch->Invoke(dirFile, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                               &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(V_VT(&result), VT_BOOL);
    EXPECT_EQ(V_BOOL(&result), VARIANT_TRUE);

    server.QueueAnswer(AnswerBytes(403, "Forbidden"));
    EXCEPINFO exception{};
    VariantInit(&result);
    EXPECT_EQ(dispatch->Invoke(dirFile, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                               &result, &exception, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, kErrorFailed);
    EXPECT_EQ(com::BytesFromBstr(exception.bstrDescription), "Invalid procedure call or argument");
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
}

// A host that uses the component from threads it later ends (a pool of apartments):
// rounds of threads that each make an object, call it and end, the DLL loaded throughout.
// The calls fail (nothing listens on the port); what counts is that every thread's end
// frees its state and the program goes on, and exits, normally.
TEST_F(ComComponentTest, ThreadsThatUseTheComponentAndEndLeaveTheHostWorking) {
    constexpr int kRounds = 3;
    constexpr int kThreads = 8;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([this] {
                ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
                IClassFactory* factory = nullptr;
                ASSERT_EQ(getClassObject(CLSID_PelorinClient, IID_IClassFactory,
                                         reinterpret_cast<void**>(&factory)),
                          S_OK);
                _PelorinClient* own = nullptr;
                ASSERT_EQ(factory->CreateInstance(nullptr, IID__PelorinClient,
                                                  reinterpret_cast<void**>(&own)),
                          S_OK);
                factory->Release();
                EXPECT_EQ(own->SetPort(1), S_OK);
                Text name("f");
                Text body;
                EXPECT_NE(own->GetFile(name.get(), body.out()), S_OK);
                own->Release();
                CoUninitialize();
            });
        }
        for (auto& thread : threads) thread.join();
    }
    EXPECT_EQ(canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace pelorin
