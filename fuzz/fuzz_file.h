// The readers take file names, so each fuzz input is written to one scratch
// file (in memory-backed /dev/shm where there is one) before it is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "file_io.h"

namespace voxaro::fuzz {

inline std::wstring WriteInput(const uint8_t* data, size_t size, const char* extension)
{
    static const std::string base =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/voxaro-fuzz-" + std::to_string(getpid());
    std::string path = base + extension;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return {};
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return Utf8ToWide(path);
}

}  // namespace voxaro::fuzz
