#include "snmp/pool.h"

namespace pool {

thread_local constinit Lists lists{};

namespace {
// Hands the blocks a thread kept back to the allocator when the thread ends.
// Made when the thread first keeps a block.
struct Keeper {
    ~Keeper() {
        for (std::size_t c = 0; c < kClasses; ++c) {
            FreeBlock* h = lists.head[c];
            while (h != nullptr) {
                open(h, (c + 1) * kGranule, c);
                FreeBlock* next = h->next;
                ::operator delete(h);
                h = next;
            }
            lists.head[c] = nullptr;
            lists.room[c] = 0;
        }
    }
};

void push(FreeBlock* block, std::size_t c) noexcept {
    checkIn(block, c);
    block->next = lists.head[c];
    lists.head[c] = block;
    --lists.room[c];
    poison(block, (c + 1) * kGranule);
}
}  // namespace

void* allocateNew(std::size_t size) {
    const std::size_t c = classOf(size);
    if (c >= kClasses) return ::operator new(size);
    // Every block of a class has the class's full size, so any freed one fits.
    void* block = ::operator new((c + 1) * kGranule);
    open(block, size, c);
    return block;
}

void releaseSlow(void* block, std::size_t size) noexcept {
    if (block == nullptr) return;
    const std::size_t c = classOf(size);
    if (c >= kClasses) {
        ::operator delete(block);
        return;
    }
    if (!lists.kept) {
        thread_local Keeper keeper;
        (void)keeper;
        lists.kept = true;
        for (std::size_t k = 0; k < kClasses; ++k) lists.room[k] = kKeepPerClass;
        push(static_cast<FreeBlock*>(block), c);
        return;
    }
    // The list is full: the block goes back to the allocator.
    checkIn(block, c);
    ::operator delete(block);
}

}  // namespace pool
