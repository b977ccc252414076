// The connection server: one listening socket (slot 0) and accepted connections known by
// slot numbers 1 and up. A thin facade over its hidden WinsockServer_Form: every call is
// forwarded and every event of the form is passed on unchanged.
//
// Events go to two kinds of listeners. The owner (the HTTP listener) hears every event, as
// the one subscriber of the facade. Besides, one listener per slot (the request connection
// bound to it) hears the events of that slot only, found by its slot number: an event
// reaches the one connection it concerns without asking all of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics/ObjectTrace.h"
#include "server/http/WinsockServer_Form.h"

namespace pelorin {

class CSocket_Server;

// The receiving side of the connection server's events. Index 0 is the listener.
class CSocket_ServerEvents {
  public:
    virtual ~CSocket_ServerEvents() = default;
    virtual void Error(CSocket_Server& sender, std::int32_t index, std::int16_t number,
                       const std::string& description) = 0;
    virtual void NewClient(CSocket_Server& sender, std::int32_t index) = 0;
    virtual void SendComplete(CSocket_Server& sender, std::int32_t index) = 0;
    virtual void DataArrival(CSocket_Server& sender, std::int32_t index,
                             const std::string& data) = 0;
    virtual void Closed(CSocket_Server& sender, std::int32_t index) = 0;
};

class CSocket_Server : public std::enable_shared_from_this<CSocket_Server>,
                       private WinsockServer_FormEvents {
  public:
    static std::shared_ptr<CSocket_Server> Create();
    ~CSocket_Server() override;
    CSocket_Server(const CSocket_Server&) = delete;
    CSocket_Server& operator=(const CSocket_Server&) = delete;

    // The owner, which hears every event; nullptr detaches it.
    void SetEvents(CSocket_ServerEvents* events) { events_ = events; }
    // The listener of one slot (1 and up), which hears that slot's events; nullptr clears
    // it. A slot has at most one; setting another replaces it.
    void SetSlotEvents(std::int32_t index, CSocket_ServerEvents* events);
    CSocket_ServerEvents* SlotEvents(std::int32_t index) const;

    // Closes every connection and the listener, with the log line "Server_Cancel".
    void Cancel();
    // Listens on `port` (0: a free port the system picks). A port that cannot be listened
    // on throws RuntimeError with the socket error number and its text.
    void Listen(std::int32_t port);
    // Index 0: closes every connection and the listener, raising no events, and forgets
    // every slot listener. Index i: closes that connection and frees its slot.
    void Disconnect(std::int32_t index);
    // Closes connection `index` (1 and up) with a reset, so that its peer cannot take what
    // it got for a whole answer, and frees its slot.
    void Abort(std::int32_t index);
    std::int32_t GetPort(std::int32_t index) const;
    std::int32_t GetState(std::int32_t index) const;
    void SendData(std::int32_t index, std::string data);
    // Sends the file's bytes up to its size at opening, from the file as the socket takes
    // them; SendComplete covers them like the data handed over before.
    void SendFile(std::int32_t index, platform::ReadableFile file);
    std::string GetClientIP(std::int32_t index) const;
    // The bytes the socket of slot `index` has taken so far, of everything sent on it.
    std::uint64_t GetBytesSent(std::int32_t index) const;

  private:
    CSocket_Server();

    void Error(std::int32_t index, std::int16_t number, const std::string& description) override;
    void NewClient(std::int32_t index) override;
    void SendComplete(std::int32_t index) override;
    void DataArrival(std::int32_t index, const std::string& data) override;
    void Closed(std::int32_t index) override;

    template <typename Raise>
    void RaiseToListeners(std::int32_t index, Raise raise);

    ObjectTrace trace_{"CSocket_Server"};
    std::shared_ptr<WinsockServer_Form> myWinsocks;
    CSocket_ServerEvents* events_ = nullptr;
    std::vector<CSocket_ServerEvents*> slotEvents_;  // slotEvents_[i] listens to slot i
};

}  // namespace pelorin
