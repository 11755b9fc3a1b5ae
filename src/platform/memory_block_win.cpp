#include "memory_block.h"

#include <cstdlib>

namespace voxaro {

// The heap grows large blocks in place where it can; large pages need a
// privilege ordinary users lack.
void* ResizeBlock(void* block, size_t, size_t newBytes) noexcept
{
    return std::realloc(block, newBytes);
}

void FreeBlock(void* block, size_t) noexcept
{
    std::free(block);
}

}  // namespace voxaro
