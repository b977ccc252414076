#include "server/http/CSocket_Server.h"

namespace pelorin {

std::shared_ptr<CSocket_Server> CSocket_Server::Create() {
    return std::shared_ptr<CSocket_Server>(new CSocket_Server);
}

CSocket_Server::CSocket_Server() : myWinsocks(WinsockServer_Form::Create()) {
    myWinsocks->SetClass(this);
}

CSocket_Server::~CSocket_Server() {
    myWinsocks->SetClass(nullptr);
}

void CSocket_Server::SetSlotEvents(std::int32_t index, CSocket_ServerEvents* events) {
    if (index <= 0) return;
    const auto slot = static_cast<std::size_t>(index);
    if (slot >= slotEvents_.size()) {
        if (events == nullptr) return;
        slotEvents_.resize(slot + 1, nullptr);
    }
    slotEvents_[slot] = events;
}

CSocket_ServerEvents* CSocket_Server::SlotEvents(std::int32_t index) const {
    const auto slot = static_cast<std::size_t>(index);
    return index > 0 && slot < slotEvents_.size() ? slotEvents_[slot] : nullptr;
}

void CSocket_Server::Cancel() {
    slotEvents_.clear();
    myWinsocks->Cancel();
}

void CSocket_Server::Listen(std::int32_t port) {
    myWinsocks->Listen(port);
}

void CSocket_Server::Disconnect(std::int32_t index) {
    // Closing everything raises no events, so no slot listener would ever hear that its
    // connection is gone; they are forgotten, and a slot taken again later gets a new one.
    if (index == 0) slotEvents_.clear();
    myWinsocks->Disconnect(index);
}

void CSocket_Server::Abort(std::int32_t index) {
    myWinsocks->Abort(index);
}

std::int32_t CSocket_Server::GetPort(std::int32_t index) const {
    return myWinsocks->GetPort(index);
}

std::int32_t CSocket_Server::GetState(std::int32_t index) const {
    return myWinsocks->GetState(index);
}

void CSocket_Server::SendData(std::int32_t index, std::string data) {
    myWinsocks->SendData(index, std::move(data));
}

void CSocket_Server::SendFile(std::int32_t index, platform::ReadableFile file) {
    myWinsocks->SendFile(index, std::move(file));
}

std::string CSocket_Server::GetClientIP(std::int32_t index) const {
    return myWinsocks->GetClientIP(index);
}

std::uint64_t CSocket_Server::GetBytesSent(std::int32_t index) const {
    return myWinsocks->GetBytesSent(index);
}

// Raises one event to the owner and then to the slot's listener. The facade stays alive
// until both returned, whoever lets go of it meanwhile.
template <typename Raise>
void CSocket_Server::RaiseToListeners(std::int32_t index, Raise raise) {
    const auto keep = shared_from_this();
    if (events_ != nullptr) raise(*events_);
    if (CSocket_ServerEvents* slot = SlotEvents(index)) raise(*slot);
}

void CSocket_Server::Error(std::int32_t index, std::int16_t number,
                           const std::string& description) {
    const auto keep = shared_from_this();
    RaiseToListeners(index,
                     [&](CSocket_ServerEvents& e) { e.Error(*this, index, number, description); });
    // The connection is gone: its listener is done with the slot.
    SetSlotEvents(index, nullptr);
}

void CSocket_Server::NewClient(std::int32_t index) {
    // A listener left over from an earlier connection of the slot must not hear the new one.
    SetSlotEvents(index, nullptr);
    const auto keep = shared_from_this();
    if (events_ != nullptr) events_->NewClient(*this, index);
}

void CSocket_Server::SendComplete(std::int32_t index) {
    RaiseToListeners(index, [&](CSocket_ServerEvents& e) { e.SendComplete(*this, index); });
}

void CSocket_Server::DataArrival(std::int32_t index, const std::string& data) {
    RaiseToListeners(index, [&](CSocket_ServerEvents& e) { e.DataArrival(*this, index, data); });
}

void CSocket_Server::Closed(std::int32_t index) {
    const auto keep = shared_from_this();
    RaiseToListeners(index, [&](CSocket_ServerEvents& e) { e.Closed(*this, index); });
    SetSlotEvents(index, nullptr);
}

}  // namespace pelorin
