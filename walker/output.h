// Everything the tool prints goes through one buffer of its own, handed to
// the stream in large blocks: a row costs a copy, not a call into stdio.
// Every hand-over is checked; after the first failure nothing more is
// written, and the failure's error code is kept for the report.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

class Output {
public:
    using Clock = std::chrono::steady_clock;

    explicit Output(std::FILE* stream) : stream_(stream), flushedAt_(Clock::now()) {}
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // A copy into the buffer; the buffer goes out first when the text does not fit.
    void write(const char* text, std::size_t n) {
        if (n > sizeof buffer_ - used_) [[unlikely]] {
            writeLong(text, n);
            return;
        }
        std::memcpy(buffer_ + used_, text, n);
        used_ += n;
    }
    void put(const char* text);
    void put(const std::string& text) { write(text.data(), text.size()); }

    // Hands what is buffered to the stream and flushes the stream; false once
    // the output has failed.
    bool flush();
    // Flushes when something is buffered and the buffer last went out at
    // least age before now (the caller's clock reading).
    void flushIfOlder(Clock::time_point now, Clock::duration age) {
        if (used_ != 0 && now - flushedAt_ >= age) flush();
    }
    bool pending() const { return used_ != 0; }

    bool failed() const { return error_ != 0; }
    // The error code of the first failure, or 0.
    int error() const { return error_; }

private:
    // Flushes, then takes the text into the empty buffer, or hands a text
    // longer than the whole buffer to the stream in one piece.
    void writeLong(const char* text, std::size_t n);
    void fail();

    std::FILE* stream_;
    Clock::time_point flushedAt_;
    int error_ = 0;
    std::size_t used_ = 0;
    char buffer_[8192];
};
