// One TCP socket with the members of a Winsock control: a listener that reports
// connection requests, or a connection that reports arriving data, completed sends, the
// peer's close and errors. Events arrive through the thread's message loop, one at a time.
//
// SendData and SendFile never block: bytes the socket cannot take yet are kept, in order,
// and sent as space frees up; a file is sent from the open file as the socket takes it,
// never read whole. SendComplete comes once everything handed over has been written,
// always from the message loop, never from inside SendData or SendFile.
//
// An answer carries no length: its peer knows it is whole only by the connection's
// orderly end. So a connection that ends before everything handed over has been written
// is reset instead, and so is one whose file could not be sent whole. While a file is
// being written the socket is set to reset when closed, so that the system resets it as
// well when the program dies meanwhile; its last bytes taken, it ends in order again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Types.h"

namespace pelorin {

class Winsock;

// The owner's side of a control.
class WinsockEvents {
  public:
    virtual ~WinsockEvents() = default;
    // A listener has a waiting connection. Accept it on another control during this
    // event, or it is closed afterwards.
    virtual void ConnectionRequest(Winsock& sender, std::int32_t requestID) = 0;
    // Data arrived; GetData takes all `bytesTotal` bytes waiting.
    virtual void DataArrival(Winsock& sender, std::int32_t bytesTotal) = 0;
    virtual void SendComplete(Winsock& sender) = 0;
    // The peer closed the connection (State is sckClosing until Close). When data handed
    // to SendData was still on its way, it is written first and this comes after its
    // SendComplete (unless the owner closed or sent more in that event).
    virtual void Close(Winsock& sender) = 0;
    virtual void Error(Winsock& sender, std::int16_t number, const std::string& description) = 0;
};

class Winsock : public std::enable_shared_from_this<Winsock> {
  public:
    // State numbers.
    static constexpr std::int32_t sckClosed = 0;
    static constexpr std::int32_t sckOpen = 1;
    static constexpr std::int32_t sckListening = 2;
    static constexpr std::int32_t sckConnectionPending = 3;
    static constexpr std::int32_t sckResolvingHost = 4;
    static constexpr std::int32_t sckHostResolved = 5;
    static constexpr std::int32_t sckConnecting = 6;
    static constexpr std::int32_t sckConnected = 7;
    static constexpr std::int32_t sckClosing = 8;
    static constexpr std::int32_t sckError = 9;

    // Error numbers of the control's own checks.
    static constexpr int kInvalidPropertyValue = 380;
    static constexpr int sckInvalidOp = 40020;

    // A control for the calling thread; its events come through this thread's loop.
    static std::shared_ptr<Winsock> Create();
    ~Winsock();
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;

    void SetEvents(WinsockEvents* events) { events_ = events; }

    // The local port: the one set, or the one bound while open. Setting a value outside
    // 0..65535 throws RuntimeError 380.
    std::int32_t LocalPort() const;
    void SetLocalPort(std::int32_t port);
    // Listens on LocalPort on every local address. Throws RuntimeError (socket error
    // number and text) when that fails, and sckInvalidOp unless the control is closed.
    void Listen();
    // Takes over the connection of a ConnectionRequest (a connection of its own, if any,
    // is closed first). Throws sckInvalidOp on a listening control.
    void Accept(std::int32_t requestID);
    // Puts every received byte into `data` (replacing what it held).
    void GetData(std::string& data);
    // Sends `data` after whatever is still kept. Throws sckInvalidOp unless connected.
    void SendData(std::string data);
    // Sends the file's bytes up to its size at opening, after whatever is still kept.
    // Throws sckInvalidOp unless connected. A file that ends before that (it shrank
    // meanwhile) or cannot be read cannot give them all: the connection fails with an
    // Error event and is reset when closed, so that the peer can tell.
    void SendFile(platform::ReadableFile file);
    // Closes the socket; kept and received bytes are dropped. The control can listen or
    // accept again at once; a connection whose peer could still lose part of what was
    // written ends in the background instead (LingeringClose.h). A connection with bytes
    // still kept, or whose sending failed, is reset.
    void Close();
    // Closes like Close, with a reset even when everything handed over has been written:
    // for an answer whose rest waits above this control and will never come.
    void Abort();
    std::int32_t State() const { return state_; }
    // The peer's address as dotted text while connected; "" otherwise.
    std::string RemoteHostIP() const { return remoteHostIP_; }
    // The bytes the socket has taken so far, of everything handed to SendData and
    // SendFile since the control was made: it grows while the peer takes an answer.
    std::uint64_t BytesSent() const { return bytesSent_; }

  private:
    Winsock();

    static platform::LResult NotificationProc(platform::WindowHandle window,
                                              platform::MessageId message, platform::WParam wParam,
                                              platform::LParam lParam);
    void Open(platform::SocketHandle socket, std::uint32_t mask);
    void OnNotification(std::uint32_t event, int error);
    void OnAccept();
    void PauseAccepting(int error);
    void ResumeAccepting();
    void OnRead();
    int ReceiveChunk();
    void RaiseDataArrival();
    void KeepUnread();
    void OnPeerClose(int error);
    void RaisePeerClose();
    bool SendOutstanding() const;
    void OnSendDone();
    void RaiseError(int number);
    void FlushKept();
    int SendKeptBytes();
    int SendKeptFile();
    void FailSending(int error);
    void ArmReset();
    void DisarmReset();
    std::uint64_t KeptLeft() const;
    void DropWritten(std::uint64_t written);
    void PostOwnEvent(std::uint32_t event, int error);

    WinsockEvents* events_ = nullptr;
    platform::SocketHandle socket_ = platform::kInvalidSocket;
    platform::MessageId message_ = 0;  // this socket's notifications; changes per socket
    std::int32_t state_ = sckClosed;
    std::int32_t localPort_ = 0;
    std::string remoteHostIP_;
    std::string received_;     // received bytes the owner has not taken
    std::string_view unread_;  // the last receive's bytes, in the thread's buffer
    // What was handed over and is not written yet: bytes, or a file (when it is open).
    struct KeptPiece {
        std::string bytes;
        platform::ReadableFile file;
    };
    // Rarely more than an answer's head and body: a vector, which unlike a deque costs no
    // allocation until the first piece, and its room serves the pieces after it.
    std::vector<KeptPiece> kept_;
    std::uint64_t keptOffset_ = 0;  // bytes of kept_.front() already written
    bool waitingForSpace_ = false;  // the socket refused bytes; a write event will come
    bool completePosted_ = false;
    bool peerClosed_ = false;  // the peer closed while data was still on its way
    bool resetArmed_ = false;  // the socket is set to reset when it is closed
    std::uint64_t bytesSent_ = 0;
};

}  // namespace pelorin
