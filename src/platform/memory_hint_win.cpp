#include "memory_hint.h"

namespace voxaro {

// Large pages need a privilege ordinary users lack; nothing to hint here.
void HintSequentialFill(void*, size_t) {}

// Committed pages fault in one at a time; there is nothing cheaper to ask for.
void HintWriteSoon(void*, size_t) {}

}  // namespace voxaro
