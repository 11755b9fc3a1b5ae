#include "memory_hint.h"

namespace voxaro {

// Committed pages fault in one at a time; there is nothing cheaper to ask for.
void HintWriteSoon(void*, size_t) {}

}  // namespace voxaro
