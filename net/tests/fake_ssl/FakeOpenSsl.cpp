// A stand-in for the outside SSL library, built only for the tests. It encrypts nothing:
// it scrambles every byte with a fixed mask, so that a peer without it sees different
// bytes and two peers with it see the original ones. Its behaviour is steered by the
// texts it is handed:
//   CA file "refuse"               ssl_init_client fails (0)
//   CA file "" / anything else     not verified / verified (ssl_getverify 1 / 0)
//   server certificate "refuse"    ssl_init_server answers 100 (a failure)
// Built a second time without ssl_getverify, as an incomplete library.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "net/tests/fake_ssl/RawSocketIo.h"

namespace {

constexpr char kMask = 0x5A;

struct Session {
    std::intptr_t socket = 0;
    bool verified = false;
};

std::mutex gMutex;
std::map<std::int32_t, Session> gSessions;
std::int32_t gNextHandle = 101;
std::int32_t gCleanups = 0;

std::int32_t Open(std::intptr_t socket, bool verified) {
    std::lock_guard lock(gMutex);
    const std::int32_t handle = gNextHandle++;
    gSessions[handle] = Session{socket, verified};
    return handle;
}

bool Find(std::int32_t handle, Session& out) {
    std::lock_guard lock(gMutex);
    auto it = gSessions.find(handle);
    if (it == gSessions.end()) return false;
    out = it->second;
    return true;
}

void CopyText(const std::string& text, char* buffer, std::int32_t size) {
    if (buffer == nullptr || size <= 0) return;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

extern "C" {

std::int32_t ssl_init_client(std::intptr_t socket, const char* caFile) {
    const std::string ca = caFile != nullptr ? caFile : "";
    if (ca == "refuse") return 0;
    return Open(socket, !ca.empty());
}

std::int32_t ssl_init_server(std::intptr_t socket, const char* certificate, const char* key) {
    const std::string cert = certificate != nullptr ? certificate : "";
    if (cert == "refuse" || key == nullptr) return 100;
    return Open(socket, true);
}

#ifndef FAKE_SSL_WITHOUT_VERIFY
std::int32_t ssl_getverify(std::int32_t ssl) {
    Session s;
    return Find(ssl, s) && s.verified ? 0 : 1;
}
#endif

std::int32_t ssl_getcipher(std::int32_t, char* buffer, std::int32_t size) {
    CopyText("MASK-5A", buffer, size);
    return 0;
}

std::int32_t ssl_getsubject(std::int32_t ssl, char* buffer, std::int32_t size) {
    CopyText("CN=peer " + std::to_string(ssl), buffer, size);
    return 0;
}

std::int32_t ssl_getissuer(std::int32_t, char* buffer, std::int32_t size) {
    // Text after the NUL must never reach the caller.
    const char text[] = "CN=Test Authority\0hidden";
    if (size > static_cast<std::int32_t>(sizeof text)) std::memcpy(buffer, text, sizeof text);
    return 0;
}

std::int32_t ssl_send(std::int32_t ssl, const char* data, std::int32_t length) {
    Session s;
    if (!Find(ssl, s) || length < 0) return -1;
    std::string scrambled(data, static_cast<std::size_t>(length));
    for (char& c : scrambled) c = static_cast<char>(c ^ kMask);
    return fake_ssl::RawSend(s.socket, scrambled.data(), length);
}

std::int32_t ssl_recv(std::int32_t ssl, char* buffer, std::int32_t size) {
    Session s;
    if (!Find(ssl, s)) return -1;
    const int received = fake_ssl::RawRecv(s.socket, buffer, size);
    for (int i = 0; i < received; ++i) buffer[i] = static_cast<char>(buffer[i] ^ kMask);
    return received;
}

void ssl_cleanup(std::int32_t ssl) {
    std::lock_guard lock(gMutex);
    if (gSessions.erase(ssl) > 0) ++gCleanups;
}

// For the tests: sessions still open and clean-ups done.
std::int32_t fake_ssl_open_sessions() {
    std::lock_guard lock(gMutex);
    return static_cast<std::int32_t>(gSessions.size());
}

std::int32_t fake_ssl_cleanups() {
    std::lock_guard lock(gMutex);
    return gCleanups;
}

}  // extern "C"
