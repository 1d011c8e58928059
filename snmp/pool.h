// Recycled memory for the library's small objects. A walk makes and drops the
// same few objects for every row (a message, its PDU, a binding, a name and a
// value); keeping freed blocks on a per-thread list by size spares the general
// allocator those round trips. Sanitizer builds go straight to the allocator,
// so every use after free is still caught.
#pragma once

#include <cstddef>

namespace pool {
void* allocate(std::size_t size);
void release(void* block, std::size_t size) noexcept;
}  // namespace pool
