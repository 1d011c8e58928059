// Recycled memory for the library's small objects. A walk makes and drops the
// same few objects for every row (a message, its PDU, a binding, a name and a
// value); keeping freed blocks on a per-thread list by size spares the general
// allocator those round trips. Under AddressSanitizer the pool poisons every
// block it keeps, so a use after release or a block released twice is
// reported as the general allocator's would be.
#pragma once

#include <cstddef>

#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define TARNWICK_POOL_POISONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNWICK_POOL_POISONS 1
#endif
#endif
#ifdef TARNWICK_POOL_POISONS
#include <sanitizer/asan_interface.h>
#endif

namespace pool {

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

// A block kept on a list is poisoned whole; a block handed out is open for
// exactly the bytes asked for. Nothing at all without AddressSanitizer.
inline void poison([[maybe_unused]] void* block, [[maybe_unused]] std::size_t size) {
#ifdef TARNWICK_POOL_POISONS
    ASAN_POISON_MEMORY_REGION(block, size);
#endif
}
inline void open([[maybe_unused]] void* block, [[maybe_unused]] std::size_t size, [[maybe_unused]] std::size_t c) {
#ifdef TARNWICK_POOL_POISONS
    ASAN_UNPOISON_MEMORY_REGION(block, size);
    ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + size, (c + 1) * kGranule - size);
#endif
}
// Before a block goes on a list: a block that is on one already (released
// twice) is reported here, as the read of a released block it is.
inline void checkIn([[maybe_unused]] void* block, [[maybe_unused]] std::size_t c) {
#ifdef TARNWICK_POOL_POISONS
    [[maybe_unused]] const char first = *static_cast<volatile char*>(block);
    ASAN_UNPOISON_MEMORY_REGION(block, (c + 1) * kGranule);
#endif
}
// The allocator's side, when a list is empty or has no room.
void* allocateNew(std::size_t size);
void releaseSlow(void* block, std::size_t size) noexcept;

inline void* allocate(std::size_t size) {
    const std::size_t c = classOf(size);
    if (c < kClasses) {
        if (FreeBlock* block = lists.head[c]) {
            open(block, sizeof(FreeBlock), c);
            lists.head[c] = block->next;
            ++lists.room[c];
            open(block, size, c);
            return block;
        }
    }
    return allocateNew(size);
}

inline void release(void* block, std::size_t size) noexcept {
    const std::size_t c = classOf(size);
    if (block != nullptr && c < kClasses && lists.room[c] != 0) {
        checkIn(block, c);
        auto* b = static_cast<FreeBlock*>(block);
        b->next = lists.head[c];
        lists.head[c] = b;
        --lists.room[c];
        poison(b, (c + 1) * kGranule);
        return;
    }
    releaseSlow(block, size);
}
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
