#include "platform/ThreadState.h"

#include <pthread.h>

#include <cstdlib>

namespace pelorin::platform {

// The key's destructor runs in the ending thread, before a join on it returns.
ThreadSlot NewThreadSlot(ThreadValueDelete remove) {
    pthread_key_t key{};
    if (pthread_key_create(&key, remove) != 0)
        std::abort();  // out of keys: nothing to fall back on
    return static_cast<ThreadSlot>(key);
}

void* ThreadSlotValue(ThreadSlot slot) {
    return pthread_getspecific(static_cast<pthread_key_t>(slot));
}

void SetThreadSlotValue(ThreadSlot slot, void* value) {
    pthread_setspecific(static_cast<pthread_key_t>(slot), value);
}

}  // namespace pelorin::platform
