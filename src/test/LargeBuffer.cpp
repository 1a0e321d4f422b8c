#include "test/LargeBuffer.h"

#include <cstdint>
#include <sys/mman.h>

namespace kvz {

void adviseLargePages(void* data, std::size_t size) {
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kLargePageSize - 1) & ~(kLargePageSize - 1);
    const std::uintptr_t last = (begin + size) & ~(kLargePageSize - 1);
    if (last <= first)
        return;
    // Only a hint: where the kernel says no, the buffer simply fills page by page.
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

} // namespace kvz
