// The hidden form of the connection server: one listening control and an array of
// connection controls, element i being the connection of slot i (element 0 is never
// used). New connections take the lowest free slot; the array grows by one only when all
// slots are busy, and free elements at its end are unloaded when a connection closes.
//
// The form has no window of its own: its controls get their notifications through the
// thread's message loop by themselves, and nothing is ever shown.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "server/http/Winsock.h"

namespace pelorin {

// The owner's side of the form (the connection server). Index 0 is the listener.
class WinsockServer_FormEvents {
  public:
    virtual ~WinsockServer_FormEvents() = default;
    virtual void Error(std::int32_t index, std::int16_t number, const std::string& description) = 0;
    virtual void NewClient(std::int32_t index) = 0;
    virtual void SendComplete(std::int32_t index) = 0;
    virtual void DataArrival(std::int32_t index, const std::string& data) = 0;
    virtual void Closed(std::int32_t index) = 0;
};

class WinsockServer_Form : public std::enable_shared_from_this<WinsockServer_Form> {
  public:
    static std::shared_ptr<WinsockServer_Form> Create();
    ~WinsockServer_Form();
    WinsockServer_Form(const WinsockServer_Form&) = delete;
    WinsockServer_Form& operator=(const WinsockServer_Form&) = delete;

    // The owner that receives the events; nullptr detaches it.
    void SetClass(WinsockServer_FormEvents* theClass) { owner_ = theClass; }
    // Logs "listen to port N" and listens. Failures reach the caller (RuntimeError).
    void Listen(std::int32_t port);
    // Index 0: closes every connection and the listener, unloads every connection element,
    // raises no events. Index i: closes slot i and unloads the free elements at the end.
    void Disconnect(std::int32_t index);
    // Like Disconnect(index) for slot `index` (1 and up), with a reset (Winsock::Abort).
    void Abort(std::int32_t index);
    // Sends on slot `index`; dropped when that slot holds no connection.
    void SendData(std::int32_t index, std::string data);
    // Sends the file's bytes on slot `index` (Winsock::SendFile); dropped (and the file
    // closed) when that slot holds no connection.
    void SendFile(std::int32_t index, platform::ReadableFile file);
    std::int32_t GetPort(std::int32_t index) const;
    std::string GetClientIP(std::int32_t index) const;
    // Winsock::BytesSent of element `index`; 0 when there is no such element.
    std::uint64_t GetBytesSent(std::int32_t index) const;
    // 1 free, 2 listening, 3 on its way, 4 connected, 0 otherwise (also: no such element).
    std::int32_t GetState(std::int32_t index) const;
    // Logs "Server_Cancel" and does Disconnect(0).
    void Cancel();
    // The array's upper bound: the number of connection slots loaded.
    std::int32_t UpperBound() const { return static_cast<std::int32_t>(clients_.size()) - 1; }

  private:
    class Element;

    WinsockServer_Form() = default;
    void Load();

    // Control events, with the element's index (0: the listener).
    void Listener_ConnectionRequest(std::int32_t requestID);
    void Listener_Error(std::int16_t number, const std::string& description);
    void Clients_DataArrival(std::int32_t index);
    void Clients_SendComplete(std::int32_t index);
    void Clients_Close(std::int32_t index);
    void Clients_Error(std::int32_t index, std::int16_t number, const std::string& description);

    std::int32_t TakeFreeSlot();
    void LoadElement();
    void UnloadLastElement();
    Winsock* Control(std::int32_t index) const;

    WinsockServer_FormEvents* owner_ = nullptr;
    std::shared_ptr<Element> listener_;
    std::vector<std::shared_ptr<Element>> clients_;  // clients_[0] loaded, never a connection
    // The loaded slots whose control is closed. Every state change of a connection
    // element passes through this form, so the set is the lowest-free-slot answer
    // without asking each element.
    std::set<std::int32_t> freeSlots_;
    std::string arrival_;  // the buffer of Clients_DataArrival
};

}  // namespace pelorin
