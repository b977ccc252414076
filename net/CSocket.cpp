#include "net/CSocket.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "base/RuntimeError.h"
#include "base/Text.h"
#include "diagnostics/Hooks.h"
#include "net/SocketModule.h"
#include "net/SslLibrary.h"
#include "platform/Files.h"
#include "platform/MessageQueue.h"
#include "platform/Process.h"
#include "platform/Sockets.h"
#include "platform/Timers.h"
#include "platform/Window.h"

namespace pelorin {
namespace {
// The title of every socket's hidden notification window.
constexpr char kNotifyWindowTitle[] = "tst";

constexpr std::size_t kFilePiece = 5000;
// A send of pending messages between file pieces handles at most this many, so that a
// handler that keeps posting cannot hold the send up for ever.
constexpr int kPumpLimit = 1000;

// The port as the 16-bit network field takes it; all ones is not usable.
std::uint16_t PortField(std::int32_t port) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(port) & 0xFFFFu);
}

bool IsUnusablePort(std::int32_t port) {
    return PortField(port) == 0xFFFFu;
}

// Before the first occurrence of `separator`, leaving what follows in `text`; the whole
// text (leaving it empty) when there is none.
std::string SplitFirst(std::string& text, std::string_view separator) {
    const std::size_t at = text.find(separator);
    std::string first;
    if (at == std::string::npos) {
        first = std::move(text);
        text.clear();
    } else {
        first = text.substr(0, at);
        text.erase(0, at + separator.size());
    }
    return first;
}

bool IsPrivateAddress(std::string address) {
    const auto a = static_cast<long>(Val(SplitFirst(address, ".")));
    const auto b = static_cast<long>(Val(SplitFirst(address, ".")));
    return (a == 127 && b == 0) || a == 10 || (a == 172 && b >= 16 && b <= 31) ||
           (a == 192 && b == 168);
}

// Lets the messages that are waiting now run, as a file send does between pieces. A quit
// request is put back for the loop that owns it.
void ProcessPendingMessages() {
    platform::Msg msg;
    for (int i = 0; i < kPumpLimit && platform::PeekMsg(msg); ++i) {
        if (msg.message == platform::kWmQuit) {
            platform::PostQuit(static_cast<int>(msg.wParam));
            return;
        }
        platform::DispatchMsg(msg);
    }
}

}  // namespace

std::shared_ptr<CSocket> CSocket::Create() {
    std::shared_ptr<CSocket> socket(new CSocket);
    SocketModule::Register(socket);
    return socket;
}

// Destruction closes nothing: Cancel has done that before the registry let go.
CSocket::~CSocket() = default;

// ---------------------------------------------------------------------------------
// Outgoing connections

void CSocket::Connect(std::string_view host, std::int32_t port) {
    ProzessScope scope("CSocket_Connect");
    const auto self = shared_from_this();
    if (SocketHandle != 0) Disconnect();
    CreateNotifyWindow();
    SocketHandle = 0;
    SSLHandle = 0;
    RemotePort = 0;
    CloseError = 0;
    State = CSocketState::kConnecting;
    SSLCipher.clear();
    SSLSubject.clear();
    SSLIssuer.clear();
    SSLTrusted = false;
    ++connection_;

    if (IsUnusablePort(port)) return FailCall(CSocketErrors::kBadPort, "bad port");
    const std::uint32_t address = SocketModule::ResolveHost(host);
    if (address == platform::kNoAddress) {
        return FailCall(CSocketErrors::kHostNotFound, "host not found");
    }
    if (!OpenSocket()) return;
    if (LocalPort >= 1) {
        if (IsUnusablePort(LocalPort)) {
            return FailCall(CSocketErrors::kInvalidSocket, "invalid socket");
        }
        if (platform::BindSocket(SocketHandle, {0, PortField(LocalPort)}) != 0) {
            return FailCall(CSocketErrors::kBindFailed, "error on binding");
        }
    }
    const platform::Ipv4Endpoint remote{address, PortField(port)};
    if (SSLEnable) {
        ConnectSsl(remote);
    } else {
        ConnectPlain(remote);
    }
}

void CSocket::ConnectPlain(const platform::Ipv4Endpoint& remote) {
    if (platform::RequestNotifications(SocketHandle, WindowHandle, SocketModule::kSocketMessage,
                                       SocketModule::kConnectMask) != 0) {
        return FailCall(CSocketErrors::kSelectFailed, "error on WSAAsyncSelect");
    }
    // The socket is non-blocking now: the outcome arrives as a connect notification.
    platform::ConnectSocket(SocketHandle, remote);
    if (TimeOut > 0) {
        platform::SetWindowTimer(WindowHandle, static_cast<std::uintptr_t>(SocketHandle),
                                 static_cast<std::uint32_t>(TimeOut));
    }
}

// The SSL set-up waits for the network: the socket stays blocking until it is done. A
// missing library or function throws; the socket is closed again before it leaves.
void CSocket::ConnectSsl(const platform::Ipv4Endpoint& remote) {
    if (platform::ConnectSocket(SocketHandle, remote) != 0) {
        return FailCall(CSocketErrors::kConnectFailed, "error on connecting");
    }
    const std::uint64_t connection = connection_;
    try {
        SSLHandle = SslLibrary::InitClient(SocketHandle, SSLCAFile);
        if (SSLHandle == 0)
            return FailCall(CSocketErrors::kSslInitFailed, "error on initializing ssl");
        WindowProc(CSocketEvent::kConnected, {});
        // The owner may have closed or replaced the connection in its Connect handler.
        if (connection_ != connection || SocketHandle == 0) return;
        if (platform::RequestNotifications(SocketHandle, WindowHandle, SocketModule::kSocketMessage,
                                           SocketModule::kConnectMask) != 0) {
            return FailCall(CSocketErrors::kSelectFailed, "error on WSAAsyncSelect");
        }
        SSLTrusted = SslLibrary::GetVerify(SSLHandle) == 0;
    } catch (...) {
        if (connection_ == connection) DisconnectQuietly();
        throw;
    }
}

// Every failure of a call closes the socket first and is then raised.
void CSocket::FailCall(std::int32_t number, const std::string& description) {
    Disconnect();
    RaiseError(number, description);
}

bool CSocket::OpenSocket() {
    const platform::SocketHandle socket = platform::OpenTcpSocket();
    SocketHandle = socket > 0 ? socket : 0;
    if (SocketHandle == 0) FailCall(CSocketErrors::kNoSocketHandle, "no sockethandle");
    return SocketHandle != 0;
}

// ---------------------------------------------------------------------------------
// Listening and accepting

void CSocket::Listen() {
    ProzessScope scope("CSocket_Listen");
    const auto self = shared_from_this();
    if (SocketHandle != 0) Disconnect();
    CreateNotifyWindow();
    SocketHandle = 0;
    RemoteHost.clear();
    RemotePort = 0;
    ++connection_;
    if (IsUnusablePort(LocalPort)) {
        DestroyNotifyWindow();
        RaiseError(CSocketErrors::kInvalidSocket, "invalid socket");
        return;
    }
    if (!OpenSocket()) return;
    if (platform::BindSocket(SocketHandle, {0, PortField(LocalPort)}) != 0) {
        return FailCall(CSocketErrors::kBindFailed, "error on binding");
    }
    if (platform::RequestNotifications(SocketHandle, WindowHandle, SocketModule::kSocketMessage,
                                       SocketModule::kListenMask) != 0) {
        return FailCall(CSocketErrors::kSelectFailed, "error on WSAAsyncSelect");
    }
    if (platform::ListenSocket(SocketHandle, 5) != 0) {
        return FailCall(CSocketErrors::kListenFailed, "error on listening");
    }
    State = CSocketState::kListening;
    LocalPort = SocketModule::LocalPortOf(SocketHandle);
}

void CSocket::Accept(CSocket& myServer) {
    const auto self = shared_from_this();
    SSLEnable = myServer.SSLEnable;
    SSLServerCertificate = myServer.SSLServerCertificate;
    SSLServerKey = myServer.SSLServerKey;
    // A socket still held would otherwise be lost with its notifications.
    if (SocketHandle != 0) Disconnect();
    CreateNotifyWindow();
    ++connection_;
    CloseError = 0;
    const platform::SocketHandle socket = platform::AcceptSocket(myServer.SocketHandle, nullptr);
    SocketHandle = socket > 0 ? socket : 0;
    if (SocketHandle == 0) return Disconnect();
    const bool ready = SSLEnable ? AcceptSsl() : AcceptPlain();
    if (!ready) return Disconnect();
    RemoteHost = SocketModule::PeerAddressText(SocketHandle);
    RemotePort = SocketModule::PeerPort(SocketHandle);
    State = CSocketState::kConnected;
}

// The accepted socket inherits the listener's notification request; it is moved to this
// object's own window so that the connection keeps its events after the listener closes.
bool CSocket::AcceptPlain() {
    return platform::RequestNotifications(SocketHandle, WindowHandle, SocketModule::kSocketMessage,
                                          SocketModule::kListenMask) == 0;
}

bool CSocket::AcceptSsl() {
    try {
        if (platform::RequestNotifications(SocketHandle, 0, 0, 0) != 0) return false;
        if (platform::SetSocketBlocking(SocketHandle, true) != 0) return false;
        SSLHandle = SslLibrary::InitServer(SocketHandle, SSLServerCertificate, SSLServerKey);
        if (SSLHandle <= 100) return false;
        return platform::RequestNotifications(SocketHandle, WindowHandle,
                                              SocketModule::kSocketMessage,
                                              SocketModule::kListenMask) == 0;
    } catch (...) {
        DisconnectQuietly();
        throw;
    }
}

// ---------------------------------------------------------------------------------
// Sending

std::int32_t CSocket::SendData(std::string_view text) {
    ProzessScope scope("CSocket_SendData");
    if (SocketHandle == 0) return 0;
    std::string buffer(text);
    buffer += LineSeparator;
    SendBuffer(buffer);
    return 0;
}

std::int32_t CSocket::SendData(std::uint8_t byte) {
    ProzessScope scope("CSocket_SendData");
    if (SocketHandle == 0) return 0;
    SendBuffer(std::string(1, static_cast<char>(byte)));
    return 0;
}

std::int32_t CSocket::SendData(ByteArray bytes) {
    ProzessScope scope("CSocket_SendData");
    if (SocketHandle == 0) return 0;
    SendBuffer(bytes.bytes);
    return 0;
}

std::int32_t CSocket::SendDataAsCodeUnits(std::string_view textForm) {
    ProzessScope scope("CSocket_SendData");
    if (SocketHandle == 0) return 0;
    std::string buffer;
    buffer.reserve(textForm.size() * 2);
    for (const char c : textForm) {
        buffer += c;
        buffer += '\0';
    }
    SendBuffer(buffer);
    return 0;
}

// Bytes go out in order: behind bytes still waiting, and while the connection is being
// set up, they wait as well.
void CSocket::SendBuffer(std::string_view buffer) {
    ProzessInfo([&] {
        return "UBound(TheMsg)=" + std::to_string(static_cast<long long>(buffer.size()) - 1);
    });
    if (!sendQueue_.empty() || State == CSocketState::kConnecting) {
        sendQueue_.append(buffer);
        return;
    }
    bool keepRest = true;
    const std::size_t sent = Transmit(buffer, keepRest);
    if (keepRest && sent < buffer.size()) sendQueue_.assign(buffer.substr(sent));
}

void CSocket::SendQueued() {
    if (sendQueue_.empty()) return;
    bool keepRest = true;
    const std::size_t sent = Transmit(sendQueue_, keepRest);
    if (keepRest) {
        sendQueue_.erase(0, sent);
    } else {
        sendQueue_.clear();
    }
}

// Hands the bytes to the socket until it takes no more; answers how many it took.
// `keepRest` turns false when the connection failed and the rest cannot go anywhere.
std::size_t CSocket::Transmit(std::string_view data, bool& keepRest) {
    std::size_t p = 0;
    keepRest = true;
    while (p < data.size() && SocketHandle != 0) {
        ProzessInfo([&] { return "p&=" + std::to_string(p); });
        const int length = static_cast<int>(std::min<std::size_t>(data.size() - p, INT_MAX));
        const int l = SSLHandle != 0 ? SslLibrary::Send(SSLHandle, data.data() + p, length)
                                     : platform::SendBytes(SocketHandle, data.data() + p, length);
        ProzessInfo([&] { return "l&=" + std::to_string(l); });
        if (l > 0) {
            p += static_cast<std::size_t>(l);
            continue;
        }
        if (l == -1) {
            ProzessInfo("ERROR (response of api was -1)");
            // A plain socket that refused for want of room reports when it can write
            // again. The SSL library does not say why; its rest waits for the next send.
            keepRest = SSLHandle != 0 || platform::LastSocketError() == platform::kWsaEWouldBlock;
        }
        // 0 or another negative answer: the socket takes nothing now. Trying again at once
        // would only spin, so the rest waits for the next chance to write.
        break;
    }
    return p;
}

// Each piece is read when its turn comes: the file is never held whole here. (What the
// socket cannot take at once waits in the send queue, as with any SendData.) A file that
// shrinks meanwhile ends the send where it ends.
void CSocket::SendFile(std::string_view file) {
    ProzessScope scope("CSocket_SendFile");
    const auto self = shared_from_this();
    platform::ReadableFile source;
    if (const int error = source.Open(file); error != 0) throw RuntimeError(error);
    char piece[kFilePiece];
    for (std::uint64_t offset = 0; offset < source.Size();) {
        ProcessPendingMessages();
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kFilePiece, source.Size() - offset));
        std::size_t got = 0;
        if (const int error = source.ReadAt(offset, piece, want, got); error != 0) {
            throw RuntimeError(error);
        }
        if (got == 0) break;
        SendData(ByteArray{std::string_view(piece, got)});
        offset += got;
    }
}

// ---------------------------------------------------------------------------------
// Notifications

void CSocket::WindowProc(std::int32_t wsaEvent, std::string_view value) {
    const auto self = shared_from_this();  // alive until every handler has returned
    switch (wsaEvent) {
        case CSocketEvent::kFailure: {
            const std::uint64_t connection = connection_;
            RaiseError(CSocketErrors::kLater, std::string(value));
            DisconnectAfterEvent(connection);
            break;
        }
        case CSocketEvent::kRead:
            OnReceived(value);
            break;
        case CSocketEvent::kWrite:
            OnWritable();
            break;
        case CSocketEvent::kAccept:
            RaiseConnectionRequest();
            break;
        case CSocketEvent::kConnected:
            OnConnected();
            break;
        case CSocketEvent::kClose: {
            const std::uint64_t connection = connection_;
            RaiseClosed();
            DisconnectAfterEvent(connection);
            break;
        }
        default:
            break;
    }
}

void CSocket::OnReceived(std::string_view bytes) {
    ProzessScope scope("Event CSocket_DataArrival");
    if (LineSeparator.empty()) {
        if (events_ != nullptr) events_->DataArrival(*this, std::string(bytes), RemoteHost);
        return;
    }
    pendingLine_.append(bytes.substr(0, bytes.find('\0')));
    // The separator is read afresh for each line: a handler may change it, and an empty
    // one would otherwise find an endless run of empty lines.
    while (!LineSeparator.empty()) {
        const std::size_t at = pendingLine_.find(LineSeparator);
        if (at == std::string::npos) break;
        const std::string line = pendingLine_.substr(0, at);
        pendingLine_.erase(0, at + LineSeparator.size());
        if (events_ != nullptr) events_->LineDataArrival(*this, line, RemoteHost);
    }
}

void CSocket::OnWritable() {
    SendQueued();
    // SendComplete means that everything handed over has gone to the system.
    if (!sendQueue_.empty()) return;
    RaiseSendComplete();
}

void CSocket::OnConnected() {
    if (RemotePort != 0) return;  // a second completion
    RemoteHost = SocketModule::PeerAddressText(SocketHandle);
    RemotePort = SocketModule::PeerPort(SocketHandle);
    if (SSLHandle > 0) {
        SSLCipher = SslLibrary::GetCipher(SSLHandle);
        SSLSubject = SslLibrary::GetSubject(SSLHandle);
        SSLIssuer = SslLibrary::GetIssuer(SSLHandle);
    }
    LocalPort = SocketModule::LocalPortOf(SocketHandle);
    State = CSocketState::kConnected;
    RaiseConnect();
    // Data queued while connecting goes out with the first chance to write.
}

// After Error and Closed the connection is closed, unless the owner's handler has
// already started another one, which is left alone.
void CSocket::DisconnectAfterEvent(std::uint64_t connection) {
    if (connection_ == connection) Disconnect();
}

// ---------------------------------------------------------------------------------
// Closing and release

void CSocket::Disconnect() {
    ProzessScope scope("CSocket_Disconnect");
    const auto self = shared_from_this();
    std::exception_ptr failure;
    State = CSocketState::kClosed;
    LocalPort = 0;
    sendQueue_.clear();
    if (SocketHandle != 0) {
        if (SSLHandle != 0) {
            // The socket is closed even when the library cannot clean up.
            try {
                SslLibrary::Cleanup(SSLHandle);
            } catch (...) {
                failure = std::current_exception();
            }
            SSLHandle = 0;
        }
        platform::KillWindowTimer(WindowHandle, static_cast<std::uintptr_t>(SocketHandle));
        platform::CloseSocket(SocketHandle);
        SocketHandle = 0;
    }
    DestroyNotifyWindow();
    if (failure) std::rethrow_exception(failure);
}

// For the paths that are already on their way out with an error of their own.
void CSocket::DisconnectQuietly() {
    try {
        Disconnect();
    } catch (...) {
    }
}

void CSocket::Cancel() {
    const auto self = shared_from_this();
    struct LeaveRegistry {
        CSocket& socket;
        ~LeaveRegistry() { SocketModule::Unregister(socket); }
    } leave{*this};
    Disconnect();
}

// ---------------------------------------------------------------------------------
// The notification window

void CSocket::CreateNotifyWindow() {
    if (WindowHandle != 0) return;  // one window per object, never a second one
    if (SocketModule::AddLibraryUser() && platform::SocketLibraryStartup() != 0) {
        platform::ShowMessageBox("Winsock is not installed or Setup properly.", "Winsock Error");
    }
    WindowHandle = platform::CreateHiddenWindow(kNotifyWindowTitle);
    if (WindowHandle == 0) {
        if (SocketModule::RemoveLibraryUser()) platform::SocketLibraryCleanup();
        return;
    }
    WindowProcOld = SocketModule::SwapWindowProc(WindowHandle, nullptr);
}

void CSocket::DestroyNotifyWindow() {
    if (WindowHandle == 0) return;
    if (WindowProcOld != nullptr) platform::ReplaceWindowProc(WindowHandle, WindowProcOld);
    WindowProcOld = nullptr;
    platform::DestroyWin(WindowHandle);
    WindowHandle = 0;
    if (SocketModule::RemoveLibraryUser()) platform::SocketLibraryCleanup();
}

// ---------------------------------------------------------------------------------
// Names

std::string CSocket::LocalIP() const {
    return SocketModule::ResolveHostText(SocketModule::LocalAddressName(SocketHandle));
}

// The window only matters for the socket library; an object that has one keeps it.
std::string CSocket::MyIP() {
    const bool ownWindow = WindowHandle == 0;
    if (ownWindow) CreateNotifyWindow();
    const std::string name = SocketModule::LocalHostName();
    std::string lastPublic;
    std::string lastPrivate;
    for (std::int16_t n = 0; n < INT16_MAX; ++n) {
        std::string address = SocketModule::HostAddressAt(name, n);
        if (address.empty()) break;
        (IsPrivateAddress(address) ? lastPrivate : lastPublic) = std::move(address);
    }
    if (ownWindow) DestroyNotifyWindow();
    return !lastPublic.empty() ? lastPublic : lastPrivate;
}

std::string CSocket::myName() {
    const bool ownWindow = WindowHandle == 0;
    if (ownWindow) CreateNotifyWindow();
    std::string name = SocketModule::LocalHostName();
    if (ownWindow) DestroyNotifyWindow();
    return name;
}

// ---------------------------------------------------------------------------------
// Events

void CSocket::RaiseConnect() {
    ProzessScope scope("Event CSocket_Connect");
    if (events_ != nullptr) events_->Connect(*this);
}

void CSocket::RaiseClosed() {
    ProzessScope scope("Event CSocket_Closed");
    if (events_ != nullptr) events_->Closed(*this);
}

void CSocket::RaiseSendComplete() {
    ProzessScope scope("Event CSocket_SendComplete");
    if (events_ != nullptr) events_->SendComplete(*this);
}

void CSocket::RaiseError(std::int32_t number, const std::string& description) {
    const auto self = shared_from_this();
    ProzessScope scope("Event CSocket_Error");
    if (events_ != nullptr) events_->Error(*this, number, description);
}

void CSocket::RaiseConnectionRequest() {
    ProzessScope scope("Event CSocket_ConnectionRequest");
    if (events_ != nullptr) events_->ConnectionRequest(*this);
}

}  // namespace pelorin
