#include "net/WinMessages_Modul.h"

#include <map>
#include <mutex>
#include <optional>

#include "base/RuntimeError.h"
#include "net/WinMessages.h"
#include "platform/Window.h"

namespace pelorin::WinMessages_Modul {
namespace {

struct Entry {
    std::shared_ptr<WinMessages> object;  // counted: alive until RemoveHook
    platform::WindowProc previous = nullptr;
};

// The lock only guards the map; it is never held while a window procedure or an event
// handler runs, nor while an object may be destroyed (its destructor unhooks).
struct Registry {
    std::mutex mutex;
    std::map<platform::WindowHandle, Entry> entries;
};

Registry& State() {
    static Registry* registry = new Registry;  // outlives every object it holds
    return *registry;
}

std::optional<Entry> Find(platform::WindowHandle window) {
    std::lock_guard lock(State().mutex);
    auto it = State().entries.find(window);
    if (it == State().entries.end()) return std::nullopt;
    return it->second;
}

// Takes the entry of `window` out of the registry when `object` still holds it.
std::optional<Entry> TakeIfHeldBy(platform::WindowHandle window, const WinMessages* object) {
    std::lock_guard lock(State().mutex);
    auto it = State().entries.find(window);
    if (it == State().entries.end() || it->second.object.get() != object) return std::nullopt;
    Entry taken = std::move(it->second);
    State().entries.erase(it);
    return taken;
}

}  // namespace

void AddHook(const std::shared_ptr<WinMessages>& object) {
    const platform::WindowHandle window = object->hwnd;
    std::lock_guard lock(State().mutex);
    if (State().entries.contains(window)) throw RuntimeError(errors::kKeyAlreadyAssociated);
    if (!platform::WindowExists(window)) throw RuntimeError(errors::kInvalidProcedureCall);
    // Replacing a procedure sends the window no message, so holding the lock here means
    // a message from another thread waits until the entry is complete.
    const platform::WindowProc previous = platform::ReplaceWindowProc(window, HookWindowProc);
    // A window always has a procedure: none back means it was not replaced (a window of
    // another program).
    if (previous == nullptr) throw RuntimeError(errors::kInvalidProcedureCall);
    State().entries[window] = Entry{object, previous};
}

void RemoveHook(const WinMessages& object) {
    std::optional<Entry> taken;
    {
        std::lock_guard lock(State().mutex);
        for (auto it = State().entries.begin(); it != State().entries.end(); ++it) {
            if (it->second.object.get() != &object) continue;
            if (it->second.previous != nullptr) {
                platform::ReplaceWindowProc(it->first, it->second.previous);
            }
            taken = std::move(it->second);
            State().entries.erase(it);
            break;
        }
    }
    // `taken` ends here, outside the lock: when it held the last reference, the object's
    // destructor runs now and finds itself unhooked.
}

platform::LResult HookWindowProc(platform::WindowHandle window, platform::MessageId message,
                                 platform::WParam wParam, platform::LParam lParam) {
    const std::optional<Entry> before = Find(window);
    const platform::WindowProc previous =
        before && before->previous != nullptr ? before->previous : platform::DefaultWindowProc;
    const platform::LResult result =
        platform::CallPreviousProc(previous, window, message, wParam, lParam);

    // Looked up again: the previous procedure may have unhooked the window meanwhile.
    if (const std::optional<Entry> now = Find(window)) {
        try {
            now->object->RaiseEvent_WinMessage(window, message, wParam, lParam);
        } catch (...) {
            // The handler's failure must not reach the system: the message is answered.
        }
        if (message == platform::kWmNcDestroy) TakeIfHeldBy(window, now->object.get());
    }
    return result;
}

std::size_t HookCount() {
    std::lock_guard lock(State().mutex);
    return State().entries.size();
}

}  // namespace pelorin::WinMessages_Modul
