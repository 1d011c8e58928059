#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "snmp/pool.h"
#include "snmp/values.h"

namespace {

TEST(Pool, BlocksOfEverySizeHoldTheirBytes) {
    // Sizes across the classes and beyond them; every byte is writable and
    // keeps its value until the block goes back.
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    for (std::size_t size : {1u, 15u, 16u, 17u, 41u, 200u, 256u, 257u, 5000u}) {
        auto* b = static_cast<unsigned char*>(pool::allocate(size));
        for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<unsigned char>(size + i);
        blocks.emplace_back(b, size);
    }
    for (auto& [b, size] : blocks) {
        for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(b[i], static_cast<unsigned char>(size + i));
        pool::release(b, size);
    }
}

TEST(Pool, FreedBlocksAreUsedAgainBySize) {
    void* first = pool::allocate(40);
    pool::release(first, 40);
    // Any size of the same 16-byte class gets the freed block back.
    void* again = pool::allocate(33);
    EXPECT_EQ(again, first);
    pool::release(again, 33);
    // Only a bounded number of blocks is kept per class.
    std::set<void*> distinct;
    std::vector<void*> many;
    for (int i = 0; i < 1000; ++i) many.push_back(pool::allocate(100));
    for (void* b : many) distinct.insert(b);
    EXPECT_EQ(distinct.size(), many.size());
    for (void* b : many) pool::release(b, 100);
    // The list took its 64 and has no room left: the rest went back to the allocator.
    EXPECT_EQ(pool::lists.room[pool::classOf(100)], 0u);
}

#ifdef TARNWICK_POOL_POISONS
TEST(PoolDeathTest, MisusedBlocksAreReported) {
    // A block's bytes after it went back, the same block released twice, and
    // the bytes of its class beyond the size asked for.
    EXPECT_DEATH(
        {
            auto* b = static_cast<char*>(pool::allocate(40));
            pool::release(b, 40);
            static_cast<volatile char*>(b)[8] = 1;
        },
        "use-after-poison");
    EXPECT_DEATH(
        {
            void* b = pool::allocate(40);
            pool::release(b, 40);
            pool::release(b, 40);
        },
        "use-after-poison");
    EXPECT_DEATH(
        {
            auto* b = static_cast<char*>(pool::allocate(40));
            static_cast<volatile char*>(b)[44] = 1;
        },
        "use-after-poison");
}
#endif

TEST(Pool, ObjectsMadeAndDroppedOnOtherThreads) {
    // Values made on one thread and deleted on another, and threads that end
    // with blocks kept: the sanitizer build checks that nothing is lost.
    std::vector<SnmpValue*> made(64);
    std::thread maker([&] {
        for (auto& v : made) v = new SnmpOctetString("made elsewhere");
    });
    maker.join();
    for (auto* v : made) ASSERT_STREQ(v->toString(), "made elsewhere");
    std::thread dropper([&] {
        for (auto* v : made) delete v;
    });
    dropper.join();
    // The blocks the dropping thread kept went back when it ended; new objects
    // here come from this thread's own lists or the allocator, intact.
    SnmpOctetString after("after the threads");
    EXPECT_STREQ(after.toString(), "after the threads");
}

}  // namespace
