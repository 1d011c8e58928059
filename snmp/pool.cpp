#include "snmp/pool.h"

#ifndef TARNWICK_NO_POOL

namespace pool {

thread_local Lists lists;

namespace {
// Hands the blocks a thread kept back to the allocator when the thread ends.
// Made on the first block a thread takes from the allocator.
struct Keeper {
    ~Keeper() {
        for (FreeBlock*& h : lists.head) {
            while (h != nullptr) {
                FreeBlock* next = h->next;
                ::operator delete(h);
                h = next;
            }
        }
    }
};
}  // namespace

void* allocateNew(std::size_t size) {
    const std::size_t c = classOf(size);
    if (c >= kClasses) return ::operator new(size);
    thread_local Keeper keeper;
    (void)keeper;
    // Every block of a class has the class's full size, so any freed one fits.
    return ::operator new((c + 1) * kGranule);
}

void releaseOld(void* block, std::size_t) noexcept { ::operator delete(block); }

}  // namespace pool

#endif
