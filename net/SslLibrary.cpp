#include "net/SslLibrary.h"

#include <array>

#include "base/RuntimeError.h"
#include "platform/DynamicLibrary.h"
#include "platform/ThreadState.h"

namespace pelorin::SslLibrary {
namespace {

constexpr std::string_view kBaseName = "OpenSSL";
constexpr std::int32_t kTextBufferSize = 1000;

enum Function {
    kInitClient,
    kInitServer,
    kGetVerify,
    kGetCipher,
    kGetSubject,
    kGetIssuer,
    kSend,
    kRecv,
    kCleanup,
    kFunctionCount
};

constexpr std::array<std::string_view, kFunctionCount> kNames = {
    "ssl_init_client", "ssl_init_server", "ssl_getverify", "ssl_getcipher", "ssl_getsubject",
    "ssl_getissuer",   "ssl_send",        "ssl_recv",      "ssl_cleanup"};

// Per thread, like the rest of the toolkit's module state; the system counts the loads.
struct Loaded {
    std::string baseName{kBaseName};
    platform::LibraryHandle library = nullptr;
    std::array<void*, kFunctionCount> functions{};

    ~Loaded() { platform::FreeDynamicLibrary(library); }
};

Loaded& State() {
    return platform::ThreadState<Loaded>();
}

void* Resolve(Function which) {
    Loaded& s = State();
    const std::size_t index = static_cast<std::size_t>(which);
    if (s.functions[index] != nullptr) return s.functions[index];
    const std::string file = platform::SharedLibraryFileName(s.baseName);
    if (s.library == nullptr) {
        s.library = platform::LoadDynamicLibrary(file);
        if (s.library == nullptr) throw RuntimeError(kFileNotFound, "File not found: " + file);
    }
    void* function = platform::LibraryFunction(s.library, kNames[index]);
    if (function == nullptr) {
        throw RuntimeError(kEntryPointNotFound, "Can't find DLL entry point " +
                                                    std::string(kNames[index]) + " in " + file);
    }
    s.functions[index] = function;
    return function;
}

template <typename Fn>
Fn Get(Function which) {
    return reinterpret_cast<Fn>(Resolve(which));
}

std::string TextOf(Function which, std::int32_t ssl) {
    std::array<char, kTextBufferSize + 1> buffer{};  // one spare NUL for a careless library
    Get<Abi::GetText>(which)(ssl, buffer.data(), kTextBufferSize);
    return std::string(buffer.data());
}

}  // namespace

std::int32_t InitClient(platform::SocketHandle socket, const std::string& caFile) {
    return Get<Abi::InitClient>(kInitClient)(socket, caFile.c_str());
}

std::int32_t InitServer(platform::SocketHandle socket, const std::string& certificate,
                        const std::string& key) {
    return Get<Abi::InitServer>(kInitServer)(socket, certificate.c_str(), key.c_str());
}

std::int32_t GetVerify(std::int32_t ssl) {
    return Get<Abi::GetVerify>(kGetVerify)(ssl);
}

std::string GetCipher(std::int32_t ssl) {
    return TextOf(kGetCipher, ssl);
}

std::string GetSubject(std::int32_t ssl) {
    return TextOf(kGetSubject, ssl);
}

std::string GetIssuer(std::int32_t ssl) {
    return TextOf(kGetIssuer, ssl);
}

int Send(std::int32_t ssl, const char* data, int length) {
    return Get<Abi::Send>(kSend)(ssl, data, length);
}

int Recv(std::int32_t ssl, char* buffer, int size) {
    return Get<Abi::Recv>(kRecv)(ssl, buffer, size);
}

void Cleanup(std::int32_t ssl) {
    Get<Abi::Cleanup>(kCleanup)(ssl);
}

std::string LibraryFileName() {
    return platform::SharedLibraryFileName(State().baseName);
}

void SetLibraryNameForTests(std::string_view baseName) {
    Loaded& s = State();
    platform::FreeDynamicLibrary(s.library);
    s.library = nullptr;
    s.functions.fill(nullptr);
    s.baseName = baseName.empty() ? std::string(kBaseName) : std::string(baseName);
}

}  // namespace pelorin::SslLibrary
