// Everything the tool prints goes through one writer over a stdio stream.
// Every hand-over and flush is checked; after the first failure nothing more
// is written, and the failure's error code is kept for the report.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class Output {
public:
    // A stream that would block is written unbuffered, so that what it has
    // not taken is still here to be written once it can take more.
    explicit Output(std::FILE* stream);
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void write(const char* text, std::size_t n);
    void put(const char* text);
    void put(const std::string& text) { write(text.data(), text.size()); }

    // Flushes the stream; false once the output has failed.
    bool flush();

    bool failed() const { return error_ != 0; }
    // The error code of the first failure, or 0.
    int error() const { return error_; }

private:
    void fail();

    std::FILE* stream_;
    int error_ = 0;
};
