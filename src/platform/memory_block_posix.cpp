#include "memory_block.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace voxaro {

namespace {

constexpr size_t kAlign = size_t(2) << 20;

#if defined(MREMAP_MAYMOVE) && defined(MREMAP_FIXED) && !defined(__SANITIZE_ADDRESS__)
// From this size on a block is mapped on its own. (Under AddressSanitizer
// every block stays in the heap, where overruns are caught.)
constexpr size_t kMappedFrom = size_t(8) << 20;
#else
constexpr size_t kMappedFrom = SIZE_MAX;
#endif

bool Mapped(size_t bytes)
{
    return bytes >= kMappedFrom;
}

// bytes rounded up to whole 2 MiB steps, the length a mapped block has.
size_t MappedLength(size_t bytes)
{
    return (bytes + kAlign - 1) & ~(kAlign - 1);
}

// length bytes (a multiple of kAlign) of fresh memory at a kAlign boundary,
// or null.
void* MapAligned(size_t length)
{
    if (length > SIZE_MAX - kAlign) return nullptr;
    void* raw = ::mmap(nullptr, length + kAlign, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (begin + kAlign - 1) & ~(uintptr_t(kAlign) - 1);
    if (aligned > begin) ::munmap(raw, aligned - begin);
    if (begin + kAlign > aligned) ::munmap(reinterpret_cast<void*>(aligned + length), begin + kAlign - aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

#if defined(MREMAP_MAYMOVE) && defined(MREMAP_FIXED)
// A mapped block of oldLength grown to length, moved to a kAlign boundary
// so that its large pages move whole; null (block unchanged) on failure.
void* GrowMapped(void* block, size_t oldLength, size_t length)
{
    void* target = MapAligned(length);
    if (!target) return nullptr;
    void* moved = ::mremap(block, oldLength, length, MREMAP_MAYMOVE | MREMAP_FIXED, target);
    if (moved == MAP_FAILED) {
        ::munmap(target, length);
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    ::madvise(moved, length, MADV_HUGEPAGE);
#endif
    return moved;
}
#else
void* GrowMapped(void*, size_t, size_t)
{
    return nullptr;
}
#endif

}  // namespace

void* ResizeBlock(void* block, size_t oldBytes, size_t newBytes) noexcept
{
    if (!block) oldBytes = 0;
    if (!Mapped(oldBytes) && !Mapped(newBytes)) return std::realloc(block, newBytes);
    if (Mapped(oldBytes) && Mapped(newBytes)) {
        if (newBytes > SIZE_MAX - kAlign) return nullptr;
        const size_t oldLength = MappedLength(oldBytes), length = MappedLength(newBytes);
        if (length == oldLength) return block;
        if (length < oldLength) {  // shrinking stays in place
            ::munmap(static_cast<char*>(block) + length, oldLength - length);
            return block;
        }
        return GrowMapped(block, oldLength, length);
    }
    // From the heap to a mapping or back: a fresh block and a copy.
    void* fresh = Mapped(newBytes) ? (newBytes > SIZE_MAX - kAlign ? nullptr : MapAligned(MappedLength(newBytes)))
                                   : std::malloc(newBytes);
    if (!fresh) return nullptr;
    if (block) std::memcpy(fresh, block, std::min(oldBytes, newBytes));
    FreeBlock(block, oldBytes);
    return fresh;
}

void FreeBlock(void* block, size_t bytes) noexcept
{
    if (!block) return;
    if (Mapped(bytes))
        ::munmap(block, MappedLength(bytes));
    else
        std::free(block);
}

}  // namespace voxaro
