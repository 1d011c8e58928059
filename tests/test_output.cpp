#include <gtest/gtest.h>

#ifndef _WIN32
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

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

TEST(Output, AStreamThatWouldBlockTakesEverythingInTime) {
    // A pipe its parent left non-blocking, read slowly: every byte arrives,
    // in order, as through a blocking one.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(fcntl(ends[1], F_SETFL, O_NONBLOCK), 0);
    std::string text;
    for (int i = 0; text.size() < (1 << 18); ++i) text += "10.0.0." + std::to_string(i) + "\t00-00-00-00-00-01\t1\n";
    std::string read;
    std::thread reader([&] {
        char chunk[4096];
        for (ssize_t n; (n = ::read(ends[0], chunk, sizeof chunk)) > 0;) {
            read.append(chunk, static_cast<std::size_t>(n));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::FILE* stream = fdopen(ends[1], "w");
    {
        Output out(stream);
        for (std::size_t at = 0; at < text.size(); at += 1000) out.put(text.substr(at, 1000));
        EXPECT_TRUE(out.flush());
    }
    std::fclose(stream);
    reader.join();
    close(ends[0]);
    EXPECT_EQ(read, text);
}

}  // namespace
#endif
