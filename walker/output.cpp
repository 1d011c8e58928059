#include "walker/output.h"

#include <cerrno>
#include <cstring>

void Output::write(const char* text, std::size_t n) {
    if (error_ != 0 || n == 0) return;
    errno = 0;
    if (std::fwrite(text, 1, n, stream_) != n) fail();
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
