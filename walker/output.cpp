#include "walker/output.h"

#include <cerrno>
#include <cstring>

#include "transport/sockets.h"

Output::Output(std::FILE* stream) : stream_(stream) {
    if (net::nonBlocking(stream)) std::setvbuf(stream, nullptr, _IONBF, 0);
}

void Output::write(const char* text, std::size_t n) {
    while (error_ == 0 && n != 0) {
        errno = 0;
        const std::size_t done = std::fwrite(text, 1, n, stream_);
        text += done;
        n -= done;
        // What a stream that would block did not take goes once it can.
        if (n != 0 && !net::waitWritable(stream_)) fail();
        if (n != 0) std::clearerr(stream_);
    }
}

void Output::put(const char* text) { write(text, std::strlen(text)); }

bool Output::flush() {
    // The stream's own buffer, and any failure it kept from before.
    if (error_ == 0) {
        errno = 0;
        if (std::fflush(stream_) != 0 || std::ferror(stream_)) fail();
    }
    return error_ == 0;
}

void Output::fail() { error_ = errno != 0 ? errno : EIO; }
