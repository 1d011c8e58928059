// Bytes written as hex text in tests: "30 27 02 01 00".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes hexBytes(const std::string& text) {
    Bytes out;
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline std::string hexText(const std::uint8_t* data, std::size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (i != 0) out.push_back(' ');
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

inline std::string hexText(const Bytes& b) { return hexText(b.data(), b.size()); }

// Encodes an object into a buffer of exactly the size given and checks that
// the writer ends exactly at its end.
template <typename T>
Bytes encodeExactly(T& object, std::size_t size) {
    Bytes out(size + 1, 0xEE);
    std::uint8_t* cursor = out.data();
    object.encode(cursor);
    out.resize(static_cast<std::size_t>(cursor - out.data()));
    return out;
}

// A message's whole encoding: the message encodes from the start of a buffer
// of exactly encodedLength() bytes.
template <typename Message>
Bytes encodeMessage(Message& message) {
    Bytes out(static_cast<std::size_t>(message.encodedLength()));
    std::uint8_t* cursor = out.data();
    message.encode(cursor);
    return out;
}
