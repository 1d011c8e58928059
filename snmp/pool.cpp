#include "snmp/pool.h"

#ifndef TARNWICK_NO_POOL

namespace pool {

thread_local Lists lists;

namespace {
// Hands the blocks a thread kept back to the allocator when the thread ends.
// Made when the thread first keeps a block.
struct Keeper {
    ~Keeper() {
        for (std::size_t c = 0; c < kClasses; ++c) {
            FreeBlock* h = lists.head[c];
            while (h != nullptr) {
                FreeBlock* next = h->next;
                ::operator delete(h);
                h = next;
            }
            lists.head[c] = nullptr;
            lists.count[c] = 0;
        }
    }
};
}  // namespace

void keepLists() noexcept {
    thread_local Keeper keeper;
    (void)keeper;
    lists.kept = true;
}

void* allocateNew(std::size_t size) {
    const std::size_t c = classOf(size);
    if (c >= kClasses) return ::operator new(size);
    // Every block of a class has the class's full size, so any freed one fits.
    return ::operator new((c + 1) * kGranule);
}

void releaseOld(void* block, std::size_t) noexcept { ::operator delete(block); }

}  // namespace pool

#endif
