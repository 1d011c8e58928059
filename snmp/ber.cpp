#include "snmp/ber.h"

int lengthFieldSize(std::uint32_t n) {
    if (n <= 126) return 1;
    return n <= 0xFF ? 2 : n <= 0xFFFF ? 3 : n <= 0xFFFFFF ? 4 : 5;
}

void writeLength(std::uint8_t*& cursor, std::uint32_t n) {
    if (n <= 126) {
        *cursor++ = static_cast<std::uint8_t>(n);
        return;
    }
    const int k = lengthFieldSize(n) - 1;
    *cursor++ = static_cast<std::uint8_t>(0x80 + k);
    for (int i = k - 1; i >= 0; --i) *cursor++ = static_cast<std::uint8_t>(n >> (8 * i));
}

std::uint32_t readLength(BerReader& reader) {
    const std::uint8_t first = reader.readByte();
    if ((first & 0x80) == 0) return first;
    const std::uint32_t k = first & 0x7F;
    // X.690 8.1.3.6: 0x80 alone announces an indefinite length, which SNMP never uses.
    if (k == 0) {
        reader.fail();
        return 0;
    }
    const std::uint8_t* octets = reader.take(k);
    if (octets == nullptr) return 0;
    std::uint32_t n = 0;
    for (std::uint32_t i = 0; i < k; ++i) n = (n << 8) | octets[i];
    return n;
}

std::uint32_t readTag(BerReader& reader) {
    const std::uint8_t first = reader.readByte();
    if ((first & 0x80) == 0) return first;
    // A tag whose first byte has the top bit set: step over the bytes that carry
    // the top bit and the first one without it. No caller accepts such a tag.
    std::uint8_t b = first;
    do {
        b = reader.readByte();
    } while ((b & 0x80) != 0 && !reader.failed());
    return 0x100u | first;
}

int integerContentLength(std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    int n = 4;
    // Drop a leading byte while the top nine bits are all zero or all one.
    while (n > 1) {
        const std::uint32_t top9 = v >> 23;
        if (top9 != 0 && top9 != 0x1FF) break;
        v <<= 8;
        --n;
    }
    return n;
}

int integerContentLength(std::uint64_t value) {
    // X.690 8.3.2: a non-negative integer in the fewest bytes whose first bit
    // is clear, so that no reader takes it for a negative one; from 2^63 up
    // that takes a leading 00 and nine bytes.
    for (int n = 1; n <= 8; ++n) {
        if ((value >> (8 * n - 1)) == 0) return n;
    }
    return 9;
}

void writeIntegerContent(std::uint8_t*& cursor, std::int32_t value, int n) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = n - 1; i >= 0; --i) *cursor++ = i < 4 ? static_cast<std::uint8_t>(v >> (8 * i)) : 0;
}

void writeIntegerContent(std::uint8_t*& cursor, std::uint64_t value, int n) {
    for (int i = n - 1; i >= 0; --i) *cursor++ = i < 8 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0;
}

std::int32_t readInt32(BerReader& reader, std::uint32_t n) {
    if (n == 0) return 0;
    const std::uint8_t* bytes = reader.take(n);
    if (bytes == nullptr) return 0;
    std::uint32_t v = 0;
    for (std::uint32_t i = 0; i < n; ++i) v = (v << 8) | bytes[i];
    // Contents shorter than four bytes carry their sign in the first byte.
    if (n < 4 && (bytes[0] & 0x80) != 0) v |= 0xFFFFFFFFu << (8 * n);
    return static_cast<std::int32_t>(v);
}

bool int32Fits(const std::uint8_t* content, std::size_t n) {
    // The bytes before the last four may only repeat the sign of what follows.
    if (n <= 4) return true;
    const std::uint8_t sign = (content[n - 4] & 0x80) != 0 ? 0xFF : 0x00;
    for (std::size_t i = 0; i + 4 < n; ++i) {
        if (content[i] != sign) return false;
    }
    return true;
}

std::uint64_t readUInt64(BerReader& reader, std::uint32_t n) {
    if (n == 0) return 0;
    const std::uint8_t* bytes = reader.take(n);
    if (bytes == nullptr) return 0;
    std::uint64_t v = 0;
    for (std::uint32_t i = 0; i < n; ++i) v = (v << 8) | bytes[i];
    return v;
}

void writeFirstArcs(std::uint8_t*& cursor, std::uint32_t a, std::uint32_t b) {
    cursor += writeSubId(cursor, 40 * a + b);
}

void readFirstArcs(BerReader& reader, std::uint32_t& a, std::uint32_t& b) {
    const std::uint32_t x = readSubId(reader);
    a = x < 40 ? 0 : x < 80 ? 1 : 2;
    b = x - 40 * a;
}

int subIdSize(std::uint32_t value) {
    if (value < (1u << 7)) return 1;
    if (value < (1u << 14)) return 2;
    if (value < (1u << 21)) return 3;
    if (value < (1u << 28)) return 4;
    return 5;
}

int writeSubId(std::uint8_t* out, std::uint32_t value) {
    const int c = subIdSize(value);
    for (int i = 0; i < c; ++i) {
        const auto group = static_cast<std::uint8_t>((value >> (7 * (c - 1 - i))) & 0x7F);
        out[i] = i + 1 < c ? static_cast<std::uint8_t>(group | 0x80) : group;
    }
    return c;
}

std::uint32_t readSubId(BerReader& reader) {
    std::uint8_t b = reader.readByte();
    std::uint32_t v = b & 0x7Fu;
    // A continuation bit on the content's last byte ends the sub-identifier there.
    while ((b & 0x80) != 0 && !reader.atEnd()) {
        b = reader.readByte();
        v = (v << 7) | (b & 0x7Fu);
    }
    return v;
}

bool subIdsFit(const std::uint8_t* content, std::size_t n) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        // Seven more bits would push a set bit past the 32nd.
        if ((v >> 25) != 0) return false;
        v = (v << 7) | (content[i] & 0x7Fu);
        if ((content[i] & 0x80) == 0) v = 0;
    }
    return true;
}
