// The windows of the Linux backend: one record per window, shared by all threads. A
// record also carries the model of a form or control (Ui.h), which has no look here.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Types.h"
#include "platform/Ui.h"
#include "platform/WindowPlacement.h"

namespace pelorin::platform::posix {

class ThreadQueue;

// Presses a button (Windows' BM_CLICK): PressButton sends it, and a button's default
// procedure turns it into a kBnClicked command to its form.
constexpr MessageId kBmClick = 0x00F5;

enum class WindowKind { Hidden, Form, Control };

struct WindowRecord {
    WindowHandle handle = 0;
    std::weak_ptr<ThreadQueue> owner;
    WindowProc proc = nullptr;
    std::intptr_t data = 0;
    std::string text;
    WindowKind kind = WindowKind::Hidden;
    // Forms and controls.
    ControlKind control = ControlKind::Label;
    WindowHandle parent = 0;
    int id = 0;
    Bounds bounds;  // of a form: its normal-state bounds
    WindowState state = WindowState::Normal;
    bool visible = false;
    std::size_t caret = 0;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

class WindowRegistry {
  public:
    static WindowRegistry& Instance();

    // Registers a new window owned by the calling thread and returns its handle.
    WindowHandle Add(std::unique_ptr<WindowRecord> record);
    void Remove(WindowHandle handle);

    // Runs `fn` on the record under the registry's lock; false when there is no window.
    template <typename Fn>
    bool With(WindowHandle handle, Fn&& fn) {
        std::lock_guard lock(mutex_);
        WindowRecord* record = Find(handle);
        if (record == nullptr) return false;
        fn(*record);
        return true;
    }

    std::shared_ptr<ThreadQueue> OwnerOf(WindowHandle handle);
    WindowProc ProcOf(WindowHandle handle);
    std::vector<WindowHandle> ChildrenOf(WindowHandle parent);

  private:
    WindowRecord* Find(WindowHandle handle);

    std::mutex mutex_;
    std::vector<std::unique_ptr<WindowRecord>> records_;  // sorted by handle
    WindowHandle next_ = 0x10000;
};

}  // namespace pelorin::platform::posix
