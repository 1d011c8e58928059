#include "snmp/pool.h"

#include <new>

namespace pool {

#ifdef TARNWICK_NO_POOL

void* allocate(std::size_t size) { return ::operator new(size); }
void release(void* block, std::size_t) noexcept { ::operator delete(block); }

#else

namespace {

constexpr std::size_t kGranule = 16;
constexpr std::size_t kClasses = 16;      // blocks up to 256 bytes
constexpr std::size_t kKeepPerClass = 64; // freed blocks kept per size

struct FreeBlock {
    FreeBlock* next;
};

struct Lists {
    FreeBlock* head[kClasses] = {};
    std::size_t count[kClasses] = {};
    ~Lists() {
        for (FreeBlock*& h : head) {
            while (h != nullptr) {
                FreeBlock* next = h->next;
                ::operator delete(h);
                h = next;
            }
        }
    }
};

thread_local Lists lists;

std::size_t classOf(std::size_t size) { return (size + kGranule - 1) / kGranule - 1; }

}  // namespace

void* allocate(std::size_t size) {
    const std::size_t c = classOf(size);
    if (c >= kClasses) return ::operator new(size);
    Lists& l = lists;
    if (FreeBlock* block = l.head[c]) {
        l.head[c] = block->next;
        --l.count[c];
        return block;
    }
    // Every block of a class has the class's full size, so any freed one fits.
    return ::operator new((c + 1) * kGranule);
}

void release(void* block, std::size_t size) noexcept {
    if (block == nullptr) return;
    const std::size_t c = classOf(size);
    Lists& l = lists;
    if (c >= kClasses || l.count[c] >= kKeepPerClass) {
        ::operator delete(block);
        return;
    }
    auto* b = static_cast<FreeBlock*>(block);
    b->next = l.head[c];
    l.head[c] = b;
    ++l.count[c];
}

#endif

}  // namespace pool
