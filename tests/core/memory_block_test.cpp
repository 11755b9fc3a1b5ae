// Growable blocks keep their contents through every change of size, small
// (heap) and large (mapped on their own where the system allows) alike, and
// the write hint changes none of them.
#include "memory_block.h"
#include "memory_hint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace voxaro {
namespace {

// A pattern over the first bytes of block, and whether they still hold it.
void Fill(void* block, size_t bytes, uint32_t seed)
{
    auto* p = static_cast<uint32_t*>(block);
    for (size_t i = 0; i < bytes / 4; ++i)
        p[i] = seed + static_cast<uint32_t>(i) * 2654435761u;
}
bool Holds(const void* block, size_t bytes, uint32_t seed)
{
    const auto* p = static_cast<const uint32_t*>(block);
    for (size_t i = 0; i < bytes / 4; ++i)
        if (p[i] != seed + static_cast<uint32_t>(i) * 2654435761u) return false;
    return true;
}

TEST(MemoryBlock, ContentsSurviveGrowingAndShrinkingAcrossSizes)
{
    constexpr size_t kMiB = size_t(1) << 20;
    // Heap, up past the mapped size, doubling, shrinking within and below it.
    const std::vector<size_t> sizes = {4096,          3 * kMiB,      8 * kMiB,  9 * kMiB + 12, 19 * kMiB,
                                       40 * kMiB + 4, 40 * kMiB + 8, 17 * kMiB, 8 * kMiB - 4,  100};
    void* block = nullptr;
    size_t bytes = 0;
    for (size_t size : sizes) {
        void* next = ResizeBlock(block, bytes, size);
        ASSERT_NE(next, nullptr) << size;
        EXPECT_TRUE(Holds(next, std::min(bytes, size), 7)) << bytes << " to " << size;
        Fill(next, size, 7);  // the whole new size is writable
        block = next, bytes = size;
    }
    FreeBlock(block, bytes);
    FreeBlock(nullptr, 0);
}

TEST(MemoryBlock, SizesNoSystemCanGiveFailAndKeepTheOldBlock)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer stops the process on such requests instead of failing them";
#endif
    constexpr size_t kMiB = size_t(1) << 20;
    for (size_t bytes : {size_t(4096), 12 * kMiB}) {
        void* block = ResizeBlock(nullptr, 0, bytes);
        ASSERT_NE(block, nullptr);
        Fill(block, bytes, 3);
        for (size_t huge : {SIZE_MAX, SIZE_MAX - kMiB, SIZE_MAX / 2})
            EXPECT_EQ(ResizeBlock(block, bytes, huge), nullptr) << bytes << " to " << huge;
        EXPECT_TRUE(Holds(block, bytes, 3)) << bytes;
        FreeBlock(block, bytes);
    }
    EXPECT_EQ(ResizeBlock(nullptr, 0, SIZE_MAX - 1), nullptr);
}

TEST(MemoryBlock, TheWriteHintKeepsWhatIsWrittenAroundAndInsideItsRange)
{
    // Readers hint at the part of an array they write next while other parts
    // already hold records, so the range starts and ends inside pages.
    constexpr size_t kMiB = size_t(1) << 20;
    for (size_t bytes : {3 * kMiB, 12 * kMiB}) {
        void* block = ResizeBlock(nullptr, 0, bytes);
        ASSERT_NE(block, nullptr);
        Fill(block, bytes, 5);
        auto* bytesAt = static_cast<unsigned char*>(block);
        HintWriteSoon(bytesAt + 4096 + 28, bytes / 2);
        HintWriteSoon(bytesAt + bytes - 100, 100);
        EXPECT_TRUE(Holds(block, bytes, 5)) << bytes;
        FreeBlock(block, bytes);
    }
}

}  // namespace
}  // namespace voxaro
