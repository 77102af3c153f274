#include "platform/trim_memory.h"

#include <malloc.h>

#include <atomic>
#include <chrono>

namespace velk {

void ReturnFreedMemory(std::size_t threshold) {
    static std::atomic<std::int64_t> nextLook{0};
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    std::int64_t due = nextLook.load();
    if (now < due || !nextLook.compare_exchange_strong(due, now + 500)) return;
    const struct mallinfo2 info = mallinfo2();
    if (info.fordblks >= threshold) malloc_trim(0);
}

void BoundAllocatorArenas() {
    mallopt(M_ARENA_MAX, 2);
    // Blocks from this size on are mapped on their own and given back when freed; without a
    // fixed threshold the allocator raises it after the first large free, and the buffers of
    // a large refresh then stay in the arenas.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

}  // namespace velk
