#include "memory_hint.h"

#include <cstdint>
#include <sys/mman.h>

namespace voxaro {

void HintSequentialFill(void* data, size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kPage = 4096;
    constexpr size_t kWorthIt = size_t(8) << 20;
    uintptr_t first = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    uintptr_t last = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (bytes >= kWorthIt && last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace voxaro
