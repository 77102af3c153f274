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

}  // namespace velk
