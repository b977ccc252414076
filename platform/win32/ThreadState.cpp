// Fiber-local slots: unlike a DLL's thread-detach, their callback runs in every module
// (program or DLL) as a thread ends, outside the loader lock, so a state's destructor may
// close sockets and free libraries.
#include "platform/ThreadState.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdlib>

namespace pelorin::platform {
namespace {

constexpr std::size_t kMaxSlots = 16;

// The system hands the callback only the value, so each value carries its own remover.
struct Held {
    ThreadValueDelete remove;
    void* value;
};

// Set while the module unloads: freeing the slots then calls back for every thread that
// still holds a value, threads whose windows and sockets are not this thread's to close.
// Those values are left to the process's end instead.
std::atomic<bool> gUnloading{false};

void WINAPI Release(void* data) {
    auto* held = static_cast<Held*>(data);
    if (held == nullptr || gUnloading.load()) return;
    held->remove(held->value);
    delete held;
}

struct Slot {
    DWORD index;
    ThreadValueDelete remove;
};

// A ThreadSlot is a position here. Slots are made once per kind of state, at its first use.
struct Slots {
    std::array<Slot, kMaxSlots> slots{};
    std::atomic<std::size_t> count{0};

    ~Slots() {
        gUnloading.store(true);
        for (std::size_t i = 0; i < count.load(); ++i) FlsFree(slots[i].index);
    }
};

Slots& AllSlots() {
    static Slots slots;
    return slots;
}

}  // namespace

ThreadSlot NewThreadSlot(ThreadValueDelete remove) {
    const DWORD index = FlsAlloc(&Release);
    if (index == FLS_OUT_OF_INDEXES) std::abort();  // nothing to fall back on
    Slots& slots = AllSlots();
    const std::size_t at = slots.count.fetch_add(1);
    if (at >= kMaxSlots) std::abort();  // a new kind of state: raise kMaxSlots
    slots.slots[at] = Slot{index, remove};
    return at;
}

void* ThreadSlotValue(ThreadSlot slot) {
    auto* held = static_cast<Held*>(FlsGetValue(AllSlots().slots[slot].index));
    return held == nullptr ? nullptr : held->value;
}

void SetThreadSlotValue(ThreadSlot slot, void* value) {
    const Slot& s = AllSlots().slots[slot];
    auto* held = static_cast<Held*>(FlsGetValue(s.index));
    if (held == nullptr) {
        held = new Held{s.remove, nullptr};
        FlsSetValue(s.index, held);
    }
    held->value = value;
}

}  // namespace pelorin::platform
