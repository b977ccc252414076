// State kept per thread and freed when that thread ends.
//
// A thread_local with a destructor is not safe in every build: mingw-w64 emulates
// thread-local storage, and its destructors ran at a thread's end on a heap already torn
// down (i686) or hung the host at its exit once threads had come and gone. Here a thread
// holds only a pointer, kept by the system, and the system calls back as the thread ends.
#pragma once

#include <cstdint>

namespace pelorin::platform {

using ThreadValueDelete = void (*)(void* value);
using ThreadSlot = std::uintptr_t;

// A slot whose value, per thread, is handed to `remove` when that thread ends.
ThreadSlot NewThreadSlot(ThreadValueDelete remove);
void* ThreadSlotValue(ThreadSlot slot);
void SetThreadSlotValue(ThreadSlot slot, void* value);

// The calling thread's T, made on first use and destroyed when the thread ends.
template <class T>
T& ThreadState() {
    static const ThreadSlot slot =
        NewThreadSlot([](void* value) { delete static_cast<T*>(value); });
    void* value = ThreadSlotValue(slot);
    if (value == nullptr) {
        value = new T();
        SetThreadSlotValue(slot, value);
    }
    return *static_cast<T*>(value);
}

}  // namespace pelorin::platform
