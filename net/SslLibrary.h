// The outside SSL library, loaded by name on the first call of one of its functions
// ("OpenSSL.dll" on Windows, "libOpenSSL.so" on Linux), each function looked up on its
// own first call. A missing library or function makes the call throw a RuntimeError:
// 53 "File not found: <file>" or 453 "Can't find DLL entry point <name> in <file>".
// Texts go to the library as NUL-terminated 8-bit strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace pelorin::SslLibrary {

// The library's exports, as a library built for this toolkit declares them (extern "C").
namespace Abi {
using InitClient = std::int32_t (*)(std::intptr_t socket, const char* caFile);
using InitServer = std::int32_t (*)(std::intptr_t socket, const char* certificate, const char* key);
using GetVerify = std::int32_t (*)(std::int32_t ssl);
// Writes a NUL-terminated text of at most `size` bytes (NUL included) into `buffer`.
using GetText = std::int32_t (*)(std::int32_t ssl, char* buffer, std::int32_t size);
using Send = std::int32_t (*)(std::int32_t ssl, const char* data, std::int32_t length);
using Recv = std::int32_t (*)(std::int32_t ssl, char* buffer, std::int32_t size);
using Cleanup = void (*)(std::int32_t ssl);
}  // namespace Abi

constexpr int kFileNotFound = 53;
constexpr int kEntryPointNotFound = 453;

// An SSL handle for a connected socket in blocking mode; 0 = failure.
std::int32_t InitClient(platform::SocketHandle socket, const std::string& caFile);
// An SSL handle for an accepted socket in blocking mode; only values above 100 succeed.
std::int32_t InitServer(platform::SocketHandle socket, const std::string& certificate,
                        const std::string& key);
// 0 when the peer's certificate is verified.
std::int32_t GetVerify(std::int32_t ssl);
std::string GetCipher(std::int32_t ssl);
std::string GetSubject(std::int32_t ssl);
std::string GetIssuer(std::int32_t ssl);
// As the socket calls: bytes taken or received; below 1 = nothing more now.
int Send(std::int32_t ssl, const char* data, int length);
int Recv(std::int32_t ssl, char* buffer, int size);
void Cleanup(std::int32_t ssl);

// The file name loaded on this thread.
std::string LibraryFileName();
// Loads another library (a base name as "OpenSSL") on this thread from now on; "" gives
// the usual one back. Forgets what was loaded before.
void SetLibraryNameForTests(std::string_view baseName);

}  // namespace pelorin::SslLibrary
