#include "server/http/WinsockServer_Form.h"

#include "base/RuntimeError.h"
#include "diagnostics/Hooks.h"

namespace pelorin {

// One loaded control of the form with its index, passing the control's events on to the
// form's handler for that index. It keeps itself and the form alive while it does: a
// handler may unload the element or release the form.
class WinsockServer_Form::Element : public std::enable_shared_from_this<Element>,
                                    private WinsockEvents {
  public:
    Element(WinsockServer_Form& form, std::int32_t index)
        : form_(form), index_(index), control_(Winsock::Create()) {
        control_->SetEvents(this);
    }
    ~Element() override { Unload(); }
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;

    Winsock& control() const { return *control_; }
    // Detaches and closes the control; its events no longer reach the form.
    void Unload() {
        control_->SetEvents(nullptr);
        control_->Close();
    }

  private:
    template <typename Handler>
    void Pass(Handler handler) {
        const auto keepSelf = shared_from_this();
        const auto keepForm = form_.shared_from_this();
        handler(form_);
    }

    void ConnectionRequest(Winsock&, std::int32_t requestID) override {
        Pass([&](WinsockServer_Form& f) { f.Listener_ConnectionRequest(requestID); });
    }
    void DataArrival(Winsock&, std::int32_t) override {
        Pass([&](WinsockServer_Form& f) { f.Clients_DataArrival(index_); });
    }
    void SendComplete(Winsock&) override {
        Pass([&](WinsockServer_Form& f) { f.Clients_SendComplete(index_); });
    }
    void Close(Winsock&) override {
        Pass([&](WinsockServer_Form& f) { f.Clients_Close(index_); });
    }
    void Error(Winsock&, std::int16_t number, const std::string& description) override {
        Pass([&](WinsockServer_Form& f) {
            if (index_ == 0) {
                f.Listener_Error(number, description);
            } else {
                f.Clients_Error(index_, number, description);
            }
        });
    }

    WinsockServer_Form& form_;
    const std::int32_t index_;
    std::shared_ptr<Winsock> control_;
};

std::shared_ptr<WinsockServer_Form> WinsockServer_Form::Create() {
    auto form = std::shared_ptr<WinsockServer_Form>(new WinsockServer_Form);
    form->Load();
    return form;
}

void WinsockServer_Form::Load() {
    listener_ = std::make_shared<Element>(*this, 0);
    clients_.push_back(std::make_shared<Element>(*this, 0));
}

WinsockServer_Form::~WinsockServer_Form() {
    owner_ = nullptr;
    for (auto& element : clients_) element->Unload();
    listener_->Unload();
}

void WinsockServer_Form::Listen(std::int32_t port) {
    WriteLog([&] { return "listen to port " + std::to_string(port); });
    listener_->control().SetLocalPort(port);
    listener_->control().Listen();
}

void WinsockServer_Form::Disconnect(std::int32_t index) {
    if (index == 0) {
        // Stopping: close everything quietly, the connections first.
        while (UpperBound() > 0) {
            clients_.back()->control().Close();
            UnloadLastElement();
        }
        listener_->control().Close();
        return;
    }
    if (index < 0 || index > UpperBound()) return;
    clients_[static_cast<std::size_t>(index)]->control().Close();
    freeSlots_.insert(index);
    while (UpperBound() > 0 && GetState(UpperBound()) == 1) UnloadLastElement();
}

void WinsockServer_Form::Abort(std::int32_t index) {
    if (index < 1 || index > UpperBound()) return;
    clients_[static_cast<std::size_t>(index)]->control().Abort();
    Disconnect(index);
}

void WinsockServer_Form::SendData(std::int32_t index, std::string data) {
    Winsock* control = Control(index);
    if (index == 0 || control == nullptr || control->State() != Winsock::sckConnected) return;
    control->SendData(std::move(data));
}

void WinsockServer_Form::SendFile(std::int32_t index, platform::ReadableFile file) {
    Winsock* control = Control(index);
    if (index == 0 || control == nullptr || control->State() != Winsock::sckConnected) return;
    control->SendFile(std::move(file));
}

std::int32_t WinsockServer_Form::GetPort(std::int32_t index) const {
    const Winsock* control = Control(index);
    return control != nullptr ? control->LocalPort() : 0;
}

std::string WinsockServer_Form::GetClientIP(std::int32_t index) const {
    const Winsock* control = Control(index);
    return control != nullptr ? control->RemoteHostIP() : std::string();
}

std::uint64_t WinsockServer_Form::GetBytesSent(std::int32_t index) const {
    const Winsock* control = Control(index);
    return control != nullptr ? control->BytesSent() : 0;
}

std::int32_t WinsockServer_Form::GetState(std::int32_t index) const {
    const Winsock* control = Control(index);
    if (control == nullptr) return 0;
    switch (control->State()) {
        case Winsock::sckClosed:
        case Winsock::sckOpen:
        case Winsock::sckClosing:
        case Winsock::sckError:
            return 1;
        case Winsock::sckListening:
            return 2;
        case Winsock::sckConnectionPending:
        case Winsock::sckResolvingHost:
        case Winsock::sckHostResolved:
        case Winsock::sckConnecting:
            return 3;
        case Winsock::sckConnected:
            return 4;
        default:
            return 0;
    }
}

void WinsockServer_Form::Cancel() {
    WriteLog("Server_Cancel");
    Disconnect(0);
}

void WinsockServer_Form::Listener_ConnectionRequest(std::int32_t requestID) {
    const std::int32_t slot = TakeFreeSlot();
    try {
        clients_[static_cast<std::size_t>(slot)]->control().Accept(requestID);
    } catch (const RuntimeError&) {
        // The connection could not be taken over (it is closed); the slot stays free.
        freeSlots_.insert(slot);
        return;
    }
    if (owner_ != nullptr) owner_->NewClient(slot);
}

void WinsockServer_Form::Listener_Error(std::int16_t number, const std::string& description) {
    if (owner_ != nullptr) owner_->Error(0, number, description);
}

// The bytes pass through a buffer of the form, taken out while it is in use (an event
// raised meanwhile gets a buffer of its own): an arrival costs no allocation.
void WinsockServer_Form::Clients_DataArrival(std::int32_t index) {
    std::string data;
    data.swap(arrival_);
    clients_[static_cast<std::size_t>(index)]->control().GetData(data);
    if (owner_ != nullptr) owner_->DataArrival(index, data);
    data.clear();
    arrival_.swap(data);
}

void WinsockServer_Form::Clients_SendComplete(std::int32_t index) {
    if (owner_ != nullptr) owner_->SendComplete(index);
}

void WinsockServer_Form::Clients_Close(std::int32_t index) {
    Disconnect(index);
    if (owner_ != nullptr) owner_->Closed(index);
}

void WinsockServer_Form::Clients_Error(std::int32_t index, std::int16_t number,
                                       const std::string& description) {
    clients_[static_cast<std::size_t>(index)]->control().Close();
    freeSlots_.insert(index);
    if (owner_ != nullptr) owner_->Error(index, number, description);
}

// The lowest free slot, loading a new element when every slot is busy.
std::int32_t WinsockServer_Form::TakeFreeSlot() {
    if (freeSlots_.empty()) LoadElement();
    const std::int32_t slot = *freeSlots_.begin();
    freeSlots_.erase(freeSlots_.begin());
    return slot;
}

void WinsockServer_Form::LoadElement() {
    const auto index = static_cast<std::int32_t>(clients_.size());
    clients_.push_back(std::make_shared<Element>(*this, index));
    freeSlots_.insert(index);
}

void WinsockServer_Form::UnloadLastElement() {
    freeSlots_.erase(UpperBound());
    clients_.back()->Unload();
    clients_.pop_back();
}

Winsock* WinsockServer_Form::Control(std::int32_t index) const {
    if (index == 0) return &listener_->control();
    if (index < 0 || index > UpperBound()) return nullptr;
    return &clients_[static_cast<std::size_t>(index)]->control();
}

}  // namespace pelorin
