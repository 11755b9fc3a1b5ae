// How much memory this process holds, for budgets that must bound what the
// process grows by (a graphics driver keeps its own copies of what it is
// given).
#pragma once

#include <cstdint>

namespace voxaro {

// Bytes the process holds now: private committed bytes on Windows, the
// resident set on Linux; 0 when the system does not say.
uint64_t ProcessMemoryBytes();

}  // namespace voxaro
