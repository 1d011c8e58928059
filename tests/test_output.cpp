#include <gtest/gtest.h>

#ifndef _WIN32
#include <cerrno>
#include <cstdio>
#include <string>

#include "walker/output.h"

namespace {

TEST(Output, TheFirstFailureStaysAndEndsTheWriting) {
    // A stream whose writes fail on demand (failWith >= 0), setting errno to
    // failWith where it is not 0.
    struct Sink {
        int writes = 0;
        int failWith = -1;
    } sink;
    cookie_io_functions_t io{};
    io.write = [](void* cookie, const char*, std::size_t n) -> ssize_t {
        auto* s = static_cast<Sink*>(cookie);
        ++s->writes;
        if (s->failWith > 0) errno = s->failWith;
        return s->failWith < 0 ? static_cast<ssize_t>(n) : -1;
    };
    std::FILE* stream = fopencookie(&sink, "w", io);
    {
        Output out(stream);
        out.put("row\n");
        EXPECT_TRUE(out.flush());
        sink.failWith = 0;  // the stream fails without saying why: EIO
        out.put("row\n");
        EXPECT_FALSE(out.flush());
        // Nothing more is written, not even past the buffer, and the first error stays.
        sink.failWith = ENOSPC;
        out.put(std::string(1 << 16, 'x'));
        EXPECT_FALSE(out.flush());
        EXPECT_EQ(out.error(), EIO);
        EXPECT_EQ(sink.writes, 2);
    }
    std::fclose(stream);
}

}  // namespace
#endif
