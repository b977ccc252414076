#include "platform/Window.h"

#include <algorithm>
#include <cstring>

#include "platform/MessageQueue.h"
#include "platform/Timers.h"
#include "platform/posix/ThreadQueue.h"
#include "platform/posix/WindowRegistry.h"

namespace pelorin::platform {

using posix::kBmClick;
using posix::ThreadQueue;
using posix::WindowKind;
using posix::WindowRecord;
using posix::WindowRegistry;

namespace {

LResult GetTextInto(WindowRecord& r, WParam size, LParam buffer) {
    if (size == 0 || buffer == 0) return 0;
    const std::size_t n = std::min<std::size_t>(r.text.size(), size - 1);
    char* out = reinterpret_cast<char*>(buffer);
    std::memcpy(out, r.text.data(), n);
    out[n] = '\0';
    return static_cast<LResult>(n);
}

}  // namespace

WindowHandle CreateHiddenWindow(std::string_view title) {
    auto record = std::make_unique<WindowRecord>();
    record->proc = DefaultWindowProc;
    record->text = std::string(title);
    return WindowRegistry::Instance().Add(std::move(record));
}

bool DestroyWin(WindowHandle window) {
    auto owner = WindowRegistry::Instance().OwnerOf(window);
    if (!owner || !owner->IsCurrentThread()) return false;
    SendMsg(window, kWmDestroy, 0, 0);
    for (WindowHandle child : WindowRegistry::Instance().ChildrenOf(window)) DestroyWin(child);
    SendMsg(window, kWmNcDestroy, 0, 0);
    owner->KillTimersOf(window);
    WindowRegistry::Instance().Remove(window);
    return true;
}

bool WindowExists(WindowHandle window) {
    return WindowRegistry::Instance().With(window, [](WindowRecord&) {});
}

WindowProc ReplaceWindowProc(WindowHandle window, WindowProc proc) {
    WindowProc previous = nullptr;
    WindowRegistry::Instance().With(window, [&](WindowRecord& r) {
        previous = r.proc;
        r.proc = proc;
    });
    return previous;
}

LResult CallPreviousProc(WindowProc previous, WindowHandle window, MessageId message, WParam wParam,
                         LParam lParam) {
    return previous == nullptr ? 0 : previous(window, message, wParam, lParam);
}

LResult DefaultWindowProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    switch (message) {
        case kWmSetText:
            WindowRegistry::Instance().With(window, [&](WindowRecord& r) {
                r.text = lParam == 0 ? "" : reinterpret_cast<const char*>(lParam);
            });
            return 1;
        case kWmGetText: {
            LResult copied = 0;
            WindowRegistry::Instance().With(
                window, [&](WindowRecord& r) { copied = GetTextInto(r, wParam, lParam); });
            return copied;
        }
        case kWmGetTextLength: {
            LResult length = 0;
            WindowRegistry::Instance().With(
                window, [&](WindowRecord& r) { length = static_cast<LResult>(r.text.size()); });
            return length;
        }
        case kWmClose:
            DestroyWin(window);
            return 0;
        case kBmClick: {
            WindowHandle parent = 0;
            int id = 0;
            WindowRegistry::Instance().With(window, [&](WindowRecord& r) {
                if (r.kind == WindowKind::Control && r.control == ControlKind::Button) {
                    parent = r.parent;
                    id = r.id;
                }
            });
            if (parent != 0) {
                const WParam w =
                    (static_cast<WParam>(kBnClicked) << 16) | (static_cast<WParam>(id) & 0xFFFFu);
                SendMsg(parent, kWmCommand, w, window);
            }
            return 0;
        }
        default:
            return 0;
    }
}

void SetWindowData(WindowHandle window, std::intptr_t data) {
    WindowRegistry::Instance().With(window, [&](WindowRecord& r) { r.data = data; });
}

std::intptr_t GetWindowData(WindowHandle window) {
    std::intptr_t data = 0;
    WindowRegistry::Instance().With(window, [&](WindowRecord& r) { data = r.data; });
    return data;
}

// Text goes through the window procedure as on Windows, so a replaced procedure sees it.
bool SetWindowTextBytes(WindowHandle window, std::string_view text) {
    if (!WindowExists(window)) return false;
    const std::string copy(text);
    SendMsg(window, kWmSetText, 0, reinterpret_cast<LParam>(copy.c_str()));
    return true;
}

std::string GetWindowTextBytes(WindowHandle window) {
    const auto length = SendMsg(window, kWmGetTextLength, 0, 0);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const auto copied =
        SendMsg(window, kWmGetText, text.size(), reinterpret_cast<LParam>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LResult>(copied, 0)));
    return text;
}

}  // namespace pelorin::platform
