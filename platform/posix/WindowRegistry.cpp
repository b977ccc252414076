#include "platform/posix/WindowRegistry.h"

#include <algorithm>

#include "platform/posix/ThreadQueue.h"

namespace pelorin::platform::posix {

WindowRegistry& WindowRegistry::Instance() {
    static WindowRegistry* registry = new WindowRegistry;  // lives as long as the process
    return *registry;
}

WindowHandle WindowRegistry::Add(std::unique_ptr<WindowRecord> record) {
    std::lock_guard lock(mutex_);
    // Handles grow and are never reused, so a stale handle never reaches a new window.
    next_ += 4;
    record->handle = next_;
    record->owner = ThreadQueue::CurrentShared();
    records_.push_back(std::move(record));
    return next_;
}

void WindowRegistry::Remove(WindowHandle handle) {
    std::unique_ptr<WindowRecord> gone;
    {
        std::lock_guard lock(mutex_);
        auto it = std::lower_bound(records_.begin(), records_.end(), handle,
                                   [](const auto& r, WindowHandle h) { return r->handle < h; });
        if (it == records_.end() || (*it)->handle != handle) return;
        gone = std::move(*it);
        records_.erase(it);
    }
}

WindowRecord* WindowRegistry::Find(WindowHandle handle) {
    auto it = std::lower_bound(records_.begin(), records_.end(), handle,
                               [](const auto& r, WindowHandle h) { return r->handle < h; });
    if (it == records_.end() || (*it)->handle != handle) return nullptr;
    return it->get();
}

std::shared_ptr<ThreadQueue> WindowRegistry::OwnerOf(WindowHandle handle) {
    std::lock_guard lock(mutex_);
    WindowRecord* record = Find(handle);
    return record == nullptr ? nullptr : record->owner.lock();
}

WindowProc WindowRegistry::ProcOf(WindowHandle handle) {
    std::lock_guard lock(mutex_);
    WindowRecord* record = Find(handle);
    return record == nullptr ? nullptr : record->proc;
}

std::vector<WindowHandle> WindowRegistry::ChildrenOf(WindowHandle parent) {
    std::lock_guard lock(mutex_);
    std::vector<WindowHandle> children;
    for (const auto& r : records_) {
        if (r->parent == parent) children.push_back(r->handle);
    }
    return children;
}

}  // namespace pelorin::platform::posix
