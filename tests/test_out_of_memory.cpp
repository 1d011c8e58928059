// A program of its own, since it replaces the global operator new: once armed,
// the allocations of the thread that armed it count down, and the one at zero
// fails as when memory runs out. The other tests keep the library's (and the
// sanitizers') own allocator.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "tests/runner.h"
#include "tests/scripted_agent.h"

namespace {
std::atomic<long> countdown{-1};  // negative: not armed
std::thread::id armedThread;
}  // namespace

void* operator new(std::size_t n) {
    if (countdown.load() >= 0 && std::this_thread::get_id() == armedThread) {
        if (countdown.load() == 0) throw std::bad_alloc();
        --countdown;
    }
    if (void* p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(OutOfMemory, EveryAllocationOfARunCanFail) {
    // A table of two rows, walked to its end when nothing fails.
    ScriptedAgent agent(tableScript({mac("1.10.0.0.1", "00 00 00 00 00 01"), mac("1.10.0.0.2", "00 00 00 00 00 01")}));
    const char* argv[] = {"tarnwick", "127.0.0.1", "public", "-d"};
    int failed = 0;
    for (long n = 0;; ++n) {
        ASSERT_LT(n, 100000) << "a run that never gets through";
        std::FILE* out = std::tmpfile();
        armedThread = std::this_thread::get_id();
        countdown = n;
        const int code = runTarnwick(4, argv, out, {.port = agent.port(), .timeoutMs = 2000});
        countdown = -1;
        const std::string text = readBack(out);
        // Enough allocations for the whole run: it walked the table.
        if (code != 4) {
            EXPECT_EQ(code, 0) << text;
            EXPECT_NE(text.find("10.0.0.2\t00-00-00-00-00-01\t1\n"), std::string::npos);
            break;
        }
        SCOPED_TRACE(n);
        ++failed;
        // Whatever allocation failed, the run ends with the one line and status 4.
        const std::string line = "ERROR: Out of memory\n";
        ASSERT_GE(text.size(), line.size());
        EXPECT_EQ(text.substr(text.size() - line.size()), line);
    }
    // The run allocates at many places, each of which failed once here.
    EXPECT_GT(failed, 20);
}

}  // namespace
