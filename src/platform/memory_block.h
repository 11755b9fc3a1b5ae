// Blocks of memory for arrays of plain records that grow as they fill. Where
// the system allows, a large block is mapped on its own at a 2 MiB boundary,
// and growing it moves its page tables rather than its bytes; small blocks,
// and every block elsewhere, come from malloc. No large pages are asked for:
// on virtual machines that hand freed memory back to their host, a large
// page is slow to get back, and a viewer is mostly opened after a pause.
#pragma once

#include <cstddef>

namespace voxaro {

// The block (null for none) of oldBytes resized to newBytes (more than 0),
// contents kept up to the smaller size: the block, or null (the old block
// unchanged) when the memory cannot be had.
void* ResizeBlock(void* block, size_t oldBytes, size_t newBytes) noexcept;
// Gives back a block of the given size (null does nothing).
void FreeBlock(void* block, size_t bytes) noexcept;

}  // namespace voxaro
