#include "file_io.h"

namespace voxaro {

size_t TFile::ReadFull(void* buffer, size_t n)
{
    auto* out = static_cast<char*>(buffer);
    size_t total = 0;
    while (total < n) {
        size_t got = 0;
        if (!Read(out + total, n - total, got) || got == 0) break;
        total += got;
    }
    return total;
}

}  // namespace voxaro
