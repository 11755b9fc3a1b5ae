// Hints to the system about how a large block of memory will be used.
#pragma once

#include <cstddef>

namespace voxaro {

// The block is written next. Where the system can, its pages are made ready
// in one step rather than by one fault each as the writes reach them. Only a
// hint: it never fails and changes no contents.
void HintWriteSoon(void* data, size_t bytes);

}  // namespace voxaro
