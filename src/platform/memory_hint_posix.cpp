#include "memory_hint.h"

#include <cstdint>
#include <sys/mman.h>

namespace voxaro {

namespace {

constexpr uintptr_t kPage = 4096;

// The whole pages inside [data, data + bytes), as first and last address.
[[maybe_unused]] bool WholePages(void* data, size_t bytes, uintptr_t& first, uintptr_t& last)
{
    first = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    last = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
    return last > first;
}

}  // namespace

void HintWriteSoon(void* data, size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    // Older kernels refuse the advice; the writes then fault as usual.
    uintptr_t first = 0, last = 0;
    if (WholePages(data, bytes, first, last))
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace voxaro
