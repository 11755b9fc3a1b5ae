#include "process_memory.h"

#include <cstdio>
#include <unistd.h>

namespace voxaro {

uint64_t ProcessMemoryBytes()
{
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long long size = 0, resident = 0;
    const int read = std::fscanf(f, "%llu %llu", &size, &resident);
    std::fclose(f);
    const long page = sysconf(_SC_PAGESIZE);
    return read == 2 && page > 0 ? resident * static_cast<uint64_t>(page) : 0;
}

}  // namespace voxaro
