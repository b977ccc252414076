// The toolkit's event-driven IPv4 TCP socket. One object holds at most one socket at a
// time: an outgoing connection (Connect), a listening socket (Listen) or a connection
// taken from a listening socket (Accept). Calls do not wait for the network (except the
// SSL set-up); completion, data, closing and failures come back as events on the owner's
// thread, delivered by the socket module's dispatcher through WindowProc.
//
// The socket registry holds every object from Create until Cancel, so an owner that
// drops its reference without Cancel leaves the object (and its socket) alive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "diagnostics/ObjectTrace.h"
#include "platform/Sockets.h"
#include "platform/Types.h"

namespace pelorin {

class CSocket;

// The owner's side of a socket. Every event has an empty default, so an owner overrides
// only the ones it cares about. The sender stays alive until the handler returns, even
// when the handler cancels it and drops its last reference.
class CSocketEvents {
  public:
    virtual ~CSocketEvents() = default;
    // An outgoing connection is complete (not raised for an accepted connection).
    virtual void Connect(CSocket& /*sender*/) {}
    // The peer closed the connection; the socket is disconnected after the handler,
    // unless the handler has started a new connection on it.
    virtual void Closed(CSocket& /*sender*/) {}
    // The socket can send: first after the connection is set up, and again once data
    // that it could not take at once has all been handed to the system.
    virtual void SendComplete(CSocket& /*sender*/) {}
    // A piece of 1 to 2000 received bytes in binary mode (LineSeparator empty).
    virtual void DataArrival(CSocket& /*sender*/, const std::string& /*BinData*/,
                             const std::string& /*RemoteHostIP*/) {}
    // One complete line in line mode, without its separator.
    virtual void LineDataArrival(CSocket& /*sender*/, const std::string& /*LineData*/,
                                 const std::string& /*RemoteHostIP*/) {}
    // A call or the connection failed; see the numbers in CSocketErrors. The socket is
    // already closed, or is closed right after the handler.
    virtual void Error(CSocket& /*sender*/, std::int32_t /*number*/,
                       const std::string& /*description*/) {}
    // A listening socket has a connection waiting: answer with a new object's Accept.
    virtual void ConnectionRequest(CSocket& /*sender*/) {}
};

// The numbers of CSocketEvents::Error. Failures that arrive later through notifications
// carry number 0 with the socket error text or "Timeout".
namespace CSocketErrors {
constexpr std::int32_t kLater = 0;
constexpr std::int32_t kBadPort = 1;         // "bad port"
constexpr std::int32_t kHostNotFound = 2;    // "host not found"
constexpr std::int32_t kNoSocketHandle = 3;  // "no sockethandle"
constexpr std::int32_t kInvalidSocket = 4;   // "invalid socket"
constexpr std::int32_t kBindFailed = 5;      // "error on binding"
constexpr std::int32_t kSelectFailed = 6;    // "error on WSAAsyncSelect"
constexpr std::int32_t kConnectFailed = 7;   // "error on connecting"
constexpr std::int32_t kSslInitFailed = 8;   // "error on initializing ssl"
constexpr std::int32_t kListenFailed = 10;   // "error on listening"
}  // namespace CSocketErrors

// Values of CSocket::State.
namespace CSocketState {
constexpr std::int32_t kClosed = 1;
constexpr std::int32_t kListening = 2;
constexpr std::int32_t kConnecting = 3;
constexpr std::int32_t kConnected = 4;
}  // namespace CSocketState

// Event codes of CSocket::WindowProc (the notification's event, or 0 for a failure).
namespace CSocketEvent {
constexpr std::int32_t kFailure = 0;
constexpr std::int32_t kRead = 1;
constexpr std::int32_t kWrite = 2;
constexpr std::int32_t kAccept = 8;
constexpr std::int32_t kConnected = 16;
constexpr std::int32_t kClose = 32;
}  // namespace CSocketEvent

class CSocket : public std::enable_shared_from_this<CSocket> {
  public:
    // A new closed socket, already in the socket registry.
    static std::shared_ptr<CSocket> Create();
    ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // The owner that receives the events; nullptr detaches it.
    void SetEvents(CSocketEvents* events) { events_ = events; }

    // Bytes that are sent exactly as they are (no line separator is added).
    struct ByteArray {
        std::string_view bytes;
    };

    // Properties. The owner sets the configuration before Connect, Listen or Accept and
    // reads the rest; SocketHandle, State, SSLHandle, WindowHandle and WindowProcOld
    // belong to the socket and its dispatcher.
    platform::SocketHandle SocketHandle = 0;  // 0 = no socket
    std::int32_t State = CSocketState::kClosed;
    // Before Listen: the port to listen on (0 = the system chooses); afterwards the port
    // bound. Before Connect: the local port to bind (below 1 = none); once connected the
    // local port. Disconnect sets it to 0.
    std::int32_t LocalPort = 0;
    std::string RemoteHost;       // dotted peer address once connected or accepted
    std::int32_t RemotePort = 0;  // 0 until a connection completes
    // How the connection ended, for an owner's Closed handler: 0 when the peer ended it
    // in order, else the socket error number of a reset or of a receive that failed.
    // Closed is raised either way; only this tells a cut-off stream from a whole one.
    std::int32_t CloseError = 0;
    std::string LineSeparator;  // empty = binary mode
    bool SSLEnable = false;
    std::string SSLCipher;
    std::string SSLSubject;
    std::string SSLIssuer;
    std::string SSLServerCertificate;  // handed to the SSL library for accepted connections
    std::string SSLServerKey;
    bool SSLTrusted = false;
    std::string SSLCAFile;        // handed to the SSL library on Connect
    std::int16_t TimeOut = 5000;  // connect time-out in milliseconds; 0 = none
    platform::WindowProc WindowProcOld = nullptr;
    std::int32_t SSLHandle = 0;  // 0 = plain socket
    platform::WindowHandle WindowHandle = 0;

    // Starts an outgoing connection to a dotted address or host name. Failures that are
    // known at once are raised as Error before the call returns. Only an SSL library
    // that is missing or incomplete makes the call throw (RuntimeError), after the
    // socket has been closed again.
    void Connect(std::string_view host, std::int32_t port);
    // Listens on LocalPort with a backlog of 5; failures are raised as Error.
    void Listen();
    // The address the host name of this socket's local address resolves to.
    std::string LocalIP() const;

    // Send calls return 0 in every case. Nothing is sent while no socket is held. What
    // the socket cannot take at once is kept, in order, and sent when it can write again;
    // SendComplete follows once all of it has been handed to the system.
    // A text, followed by LineSeparator.
    std::int32_t SendData(std::string_view text);
    std::int32_t SendData(const char* text) { return SendData(std::string_view(text)); }
    std::int32_t SendData(const std::string& text) { return SendData(std::string_view(text)); }
    // One byte.
    std::int32_t SendData(std::uint8_t byte);
    // A byte array, unchanged.
    std::int32_t SendData(ByteArray bytes);
    // Any other value, given as its default text form: sent as 16-bit code units, low
    // byte first, without a separator.
    std::int32_t SendDataAsCodeUnits(std::string_view textForm);

    // Bytes handed to a send call that the socket has not taken yet.
    std::size_t QueuedBytes() const { return sendQueue_.size(); }

    // Closes the socket and the notification window; raises nothing.
    void Disconnect();
    // Takes the waiting connection of the listening socket `myServer`. Raises nothing;
    // on failure the object is left closed.
    void Accept(CSocket& myServer);
    // Reads and sends a file in pieces of 5000 bytes, letting the thread's pending
    // messages run between pieces. File errors are thrown (RuntimeError).
    void SendFile(std::string_view file);

    // One notification for this object (see CSocketEvent). `value` is the received
    // bytes for kRead, the error text for kFailure, and unused otherwise.
    void WindowProc(std::int32_t wsaEvent, std::string_view value);

    // This machine's address: the last public one, else the last private one, else "".
    std::string MyIP();
    // This machine's host name, or "".
    std::string myName();

    // Disconnects and leaves the socket registry: the only way to release the object.
    void Cancel();

  private:
    CSocket() = default;

    void CreateNotifyWindow();
    void DestroyNotifyWindow();
    void FailCall(std::int32_t number, const std::string& description);
    bool OpenSocket();
    void ConnectPlain(const platform::Ipv4Endpoint& remote);
    void ConnectSsl(const platform::Ipv4Endpoint& remote);
    bool AcceptPlain();
    bool AcceptSsl();
    void OnConnected();
    void OnReceived(std::string_view bytes);
    void OnWritable();
    void DisconnectAfterEvent(std::uint64_t connection);
    void DisconnectQuietly();
    void SendBuffer(std::string_view buffer);
    void SendQueued();
    std::size_t Transmit(std::string_view data, bool& keepRest);

    void RaiseConnect();
    void RaiseClosed();
    void RaiseSendComplete();
    void RaiseError(std::int32_t number, const std::string& description);
    void RaiseConnectionRequest();

    ObjectTrace trace_{"CSocket"};
    CSocketEvents* events_ = nullptr;
    std::string pendingLine_;  // line mode: received text not yet ended by the separator
    std::string sendQueue_;    // bytes the socket has not taken yet, in order
    // Counts the sockets this object has held, so that the clean-up after an event
    // leaves alone a connection the owner started from inside its handler.
    std::uint64_t connection_ = 0;
};

}  // namespace pelorin
