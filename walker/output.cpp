#include "walker/output.h"

#include <cerrno>
#include <cstring>

void Output::writeLong(const char* text, std::size_t n) {
    flush();
    if (n > sizeof buffer_) {
        errno = 0;
        if (error_ == 0 && std::fwrite(text, 1, n, stream_) != n) fail();
        return;
    }
    std::memcpy(buffer_, text, n);
    used_ = n;
}

void Output::put(const char* text) { write(text, std::strlen(text)); }

bool Output::flush() {
    if (error_ == 0) {
        errno = 0;
        if (used_ != 0 && std::fwrite(buffer_, 1, used_, stream_) != used_) fail();
        // The stream's own buffer too, and any failure it kept from before.
        if (error_ == 0 && (std::fflush(stream_) != 0 || std::ferror(stream_))) fail();
    }
    used_ = 0;
    flushedAt_ = Clock::now();
    return error_ == 0;
}

void Output::fail() { error_ = errno != 0 ? errno : EIO; }
