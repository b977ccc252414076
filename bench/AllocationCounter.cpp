// A preloaded counter of a process's allocations, for bench/compare.sh: every malloc,
// calloc, realloc and aligned allocation (operator new goes through malloc) adds one to
// a count kept in the file that PELORIN_ALLOCATION_COUNT names, mapped shared, so that a
// script reads it while the process runs: the change over a known number of requests is
// the allocations per request. A child that the process forks (nginx's worker) counts
// into the same file.
//
//   PELORIN_ALLOCATION_COUNT=/tmp/count LD_PRELOAD=.../libbench_allocation_counter.so prog
//   od -An -t u8 -N 8 /tmp/count
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

std::atomic<std::uint64_t>* gCount = nullptr;

void Count() {
    if (gCount != nullptr) gCount->fetch_add(1, std::memory_order_relaxed);
}

// Runs before the program's own code; allocations before it are not counted, which only
// shifts the count, not its change.
__attribute__((constructor)) void MapCount() {
    const char* name = std::getenv("PELORIN_ALLOCATION_COUNT");
    if (name == nullptr) return;
    const int fd = open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (ftruncate(fd, sizeof(std::uint64_t)) == 0) {
        void* map = mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) gCount = static_cast<std::atomic<std::uint64_t>*>(map);
    }
    close(fd);
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) noexcept {
    Count();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    Count();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept {
    Count();
    return __libc_realloc(pointer, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
    Count();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    Count();
    return __libc_memalign(alignment, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    Count();
    return __libc_memalign(alignment, size);
}

}  // extern "C"
