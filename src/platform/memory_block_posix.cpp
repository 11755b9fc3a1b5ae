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
#define VOXARO_NO_MAPPED_BLOCKS
#endif

bool Mapped(size_t bytes)
{
    return bytes >= kMappedFrom;
}

// The length a mapped block of bytes has: whole 2 MiB steps.
size_t MappedLength(size_t bytes)
{
    return (bytes + kAlign - 1) & ~(kAlign - 1);
}

// Fresh memory for a mapped block of bytes (checked by ResizeBlock) at a
// 2 MiB boundary, or null.
void* MapFresh(size_t bytes)
{
    const size_t length = MappedLength(bytes);
    void* raw = ::mmap(nullptr, length + kAlign, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (begin + kAlign - 1) & ~(uintptr_t(kAlign) - 1);
    if (aligned > begin) ::munmap(raw, aligned - begin);
    if (begin + kAlign > aligned) ::munmap(reinterpret_cast<void*>(aligned + length), begin + kAlign - aligned);
    return reinterpret_cast<void*>(aligned);
}

// A mapped block grown from oldBytes to bytes, moved onto a fresh 2 MiB
// boundary so that large pages, where the system uses them for every
// mapping, move whole; null (block unchanged) on failure.
void* GrowMapped(void* block, size_t oldBytes, size_t bytes)
{
#ifdef VOXARO_NO_MAPPED_BLOCKS
    (void)block, (void)oldBytes, (void)bytes;
    return nullptr;
#else
    void* target = MapFresh(bytes);
    if (!target) return nullptr;
    void* moved = ::mremap(block, MappedLength(oldBytes), MappedLength(bytes), MREMAP_MAYMOVE | MREMAP_FIXED, target);
    if (moved != MAP_FAILED) return moved;
    ::munmap(target, MappedLength(bytes));
    return nullptr;
#endif
}

}  // namespace

void* ResizeBlock(void* block, size_t oldBytes, size_t newBytes) noexcept
{
    if (!block) oldBytes = 0;
    if (!Mapped(oldBytes) && !Mapped(newBytes)) return std::realloc(block, newBytes);
    // A mapping's length and its alignment slack must fit in a size_t.
    if (Mapped(newBytes) && newBytes > SIZE_MAX - 2 * kAlign) return nullptr;
    if (Mapped(oldBytes) && Mapped(newBytes)) {
        const size_t oldLength = MappedLength(oldBytes), length = MappedLength(newBytes);
        if (length > oldLength) return GrowMapped(block, oldBytes, newBytes);
        // Shrinking (or staying within the last step) keeps the block in place.
        if (length < oldLength) ::munmap(static_cast<char*>(block) + length, oldLength - length);
        return block;
    }
    // From the heap to a mapping or back: a fresh block and a copy.
    void* fresh = Mapped(newBytes) ? MapFresh(newBytes) : std::malloc(newBytes);
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
