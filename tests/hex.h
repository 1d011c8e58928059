// Bytes written as hex text in tests ("30 27 02 01 00"), and the one way
// tests encode an object.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "snmp/message.h"

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

// Encodes an object into a buffer of exactly size bytes and one guard byte
// behind them, and returns the bytes written. A message leaves the caller's
// cursor on its first byte, every other object moves it on by what it wrote.
// An object that writes past size, or moves the cursor elsewhere, gives the
// whole buffer with its guard (size + 1 bytes), which no encoding equals.
template <typename T>
Bytes encodeExactly(T& object, std::size_t size) {
    constexpr std::uint8_t kGuard = 0xEE;
    Bytes out(size + 1, kGuard);
    std::uint8_t* cursor = out.data();
    object.encode(cursor);
    const std::uint8_t* expected = std::is_base_of_v<SnmpMessageBase, T> ? out.data() : out.data() + size;
    if (cursor == expected && out[size] == kGuard) out.resize(size);
    return out;
}

// The same, sized by the object's own count of what it writes.
template <typename T>
Bytes encodeExactly(T& object) {
    if constexpr (requires { object.encodedSize(); }) {
        return encodeExactly(object, object.encodedSize());
    } else if constexpr (requires { object.encodedLength(); }) {
        return encodeExactly(object, static_cast<std::size_t>(object.encodedLength()));
    } else {
        return encodeExactly(object, object.contentLength());  // a PDU's fields
    }
}
