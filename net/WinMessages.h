// Watches every message that reaches one window of the program. The window's own
// procedure answers each message first and unchanged; then the owner hears WinMessage
// with the four values and cannot change the answer.
//
// While hooked, the hook registry holds the object, so it stays alive even when its owner
// lets go of it: owners call Unhook before they drop it.
#pragma once

#include <memory>

#include "diagnostics/ObjectTrace.h"
#include "platform/Types.h"

namespace pelorin {

class WinMessages;

// The owner's side of a hook. The sender stays alive until the handler returns, even
// when the handler unhooks it and drops its last reference. An exception thrown by the
// handler is dropped: the message has been answered by then.
class WinMessagesEvents {
  public:
    virtual ~WinMessagesEvents() = default;
    virtual void WinMessage(WinMessages& sender, platform::WindowHandle hwnd,
                            platform::MessageId uMsg, platform::WParam wParam,
                            platform::LParam lParam) = 0;
};

class WinMessages : public std::enable_shared_from_this<WinMessages> {
  public:
    static std::shared_ptr<WinMessages> Create();
    ~WinMessages();
    WinMessages(const WinMessages&) = delete;
    WinMessages& operator=(const WinMessages&) = delete;

    // The owner that receives WinMessage; nullptr detaches it (owners do so when they go).
    void SetEvents(WinMessagesEvents* events) { events_ = events; }

    // The window to watch; set before Hook. Unhook restores the window that was hooked,
    // whatever this holds by then.
    platform::WindowHandle hwnd = 0;

    // Starts watching hwnd unless hooked already. Throws RuntimeError 457 when another
    // object watches that window and 5 when there is no such window; either way nothing
    // changes and this object stays unhooked.
    void Hook();
    // Gives the window its previous procedure back and ends the events; does nothing
    // when not hooked. A window destroyed while hooked ends the events by itself; the
    // object counts as hooked until Unhook all the same.
    void Unhook();
    bool IsHooked() const { return hooked_; }

    // Raises WinMessage to the owner; called by the hook's window procedure.
    void RaiseEvent_WinMessage(platform::WindowHandle window, platform::MessageId uMsg,
                               platform::WParam wParam, platform::LParam lParam);

  private:
    WinMessages() = default;

    ObjectTrace trace_{"WinMessages"};
    bool hooked_ = false;
    WinMessagesEvents* events_ = nullptr;
};

}  // namespace pelorin
