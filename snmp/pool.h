// Recycled memory for the library's small objects. A walk makes and drops the
// same few objects for every row (a message, its PDU, a binding, a name and a
// value); keeping freed blocks on a per-thread list by size spares the general
// allocator those round trips. Sanitizer builds go straight to the allocator,
// so every use after free is still caught.
#pragma once

#include <cstddef>

#include <new>

namespace pool {

#ifdef TARNWICK_NO_POOL
inline void* allocate(std::size_t size) { return ::operator new(size); }
inline void release(void* block, std::size_t) noexcept { ::operator delete(block); }
#else
constexpr std::size_t kGranule = 16;
constexpr std::size_t kClasses = 16;       // blocks up to 256 bytes
constexpr std::size_t kKeepPerClass = 64;  // freed blocks kept per size

struct FreeBlock {
    FreeBlock* next;
};
// Plain data, so that reaching it costs no initialisation check. A thread's
// room counts start at zero: its first release of each size takes the slow
// path, which arranges for the kept blocks to be freed when the thread ends
// and opens the room. Afterwards a release checks one number.
struct Lists {
    FreeBlock* head[kClasses];
    std::size_t room[kClasses];  // blocks the list may still take
    bool kept;
};
// constinit: the lists need no start-up code, so reaching them from another
// source file costs no initialisation check either.
extern thread_local constinit Lists lists;

inline std::size_t classOf(std::size_t size) { return (size + kGranule - 1) / kGranule - 1; }
// The allocator's side, when a list is empty or has no room.
void* allocateNew(std::size_t size);
void releaseSlow(void* block, std::size_t size) noexcept;

inline void* allocate(std::size_t size) {
    const std::size_t c = classOf(size);
    if (c < kClasses) {
        if (FreeBlock* block = lists.head[c]) {
            lists.head[c] = block->next;
            ++lists.room[c];
            return block;
        }
    }
    return allocateNew(size);
}

inline void release(void* block, std::size_t size) noexcept {
    const std::size_t c = classOf(size);
    if (block != nullptr && c < kClasses && lists.room[c] != 0) {
        auto* b = static_cast<FreeBlock*>(block);
        b->next = lists.head[c];
        lists.head[c] = b;
        --lists.room[c];
        return;
    }
    releaseSlow(block, size);
}
#endif

// A byte buffer of a given size from the pool, released when it goes.
class Buffer {
public:
    explicit Buffer(std::size_t size) : size_(size), bytes_(static_cast<unsigned char*>(allocate(size))) {}
    ~Buffer() { release(bytes_, size_); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    unsigned char* get() const { return bytes_; }

private:
    std::size_t size_;
    unsigned char* bytes_;
};
}  // namespace pool
