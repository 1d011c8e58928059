#include <gtest/gtest.h>

#include "snmp/ber.h"
#include "tests/hex.h"

namespace {

Bytes writtenLength(std::uint32_t n) {
    Bytes out(8);
    std::uint8_t* cursor = out.data();
    writeLength(cursor, n);
    out.resize(static_cast<std::size_t>(cursor - out.data()));
    return out;
}

TEST(BerLength, WrittenAndReadBackForEveryWorkedLength) {
    const struct {
        std::uint32_t n;
        const char* field;
    } rows[] = {
        {0, "00"},          {5, "05"},          {126, "7E"},       {127, "81 7F"},
        {128, "81 80"},     {255, "81 FF"},     {256, "82 01 00"}, {300, "82 01 2C"},
        {65280, "82 FF 00"}, {65535, "82 FF FF"}, {70000, "83 01 11 70"}, {0xFFFFFFFF, "84 FF FF FF FF"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.n);
        const Bytes field = writtenLength(row.n);
        EXPECT_EQ(hexText(field), row.field);
        EXPECT_EQ(static_cast<std::size_t>(lengthFieldSize(row.n)), field.size());
        BerReader reader(field.data(), field.size());
        EXPECT_EQ(readLength(reader), row.n);
        EXPECT_FALSE(reader.failed());
        EXPECT_TRUE(reader.atEnd());
    }
}

TEST(BerLength, ReaderAcceptsForms) {
    const struct {
        const char* field;
        std::uint32_t n;
        std::size_t consumed;
    } rows[] = {
        {"7F", 127, 1},
        {"81 7F", 127, 2},
        {"84 00 00 01 00", 256, 5},
        // More than four length octets keep the last four.
        {"85 01 00 00 01 00", 256, 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.field);
        const Bytes b = hexBytes(row.field);
        BerReader reader(b.data(), b.size());
        EXPECT_EQ(readLength(reader), row.n);
        EXPECT_FALSE(reader.failed());
        EXPECT_EQ(reader.offset(), row.consumed);
    }
}

TEST(BerLength, BadFieldsFailWithoutReadingPastTheEnd) {
    // Each buffer is exactly as long as the bytes shown, so ASan sees any over-read.
    for (const char* field : {"", "80", "81", "82 01", "84 00 00 01", "8F 00 00", "FF"}) {
        SCOPED_TRACE(field);
        const Bytes b = hexBytes(field);
        std::vector<std::uint8_t> exact(b.begin(), b.end());
        BerReader reader(exact.data(), exact.size());
        EXPECT_EQ(readLength(reader), 0u);
        EXPECT_TRUE(reader.failed());
        // Sticky: later reads fail too and yield 0.
        EXPECT_EQ(reader.readByte(), 0);
        EXPECT_TRUE(reader.failed());
    }
}

TEST(BerTag, LowAndHighTags) {
    const struct {
        const char* bytes;
        bool failed;
        std::size_t consumed;
        bool low;
    } rows[] = {
        {"02", false, 1, true},
        {"30 05", false, 1, true},
        {"9F 22", false, 2, false},       // high tag: top bit, then one without
        {"BF 81 82 03 00", false, 4, false},
        {"BF 81 82", true, 3, false},     // never ends inside the bytes
        {"", true, 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        const Bytes b = hexBytes(row.bytes);
        BerReader reader(b.data(), b.size());
        const std::uint32_t tag = readTag(reader);
        EXPECT_EQ(reader.failed(), row.failed);
        if (!row.failed) {
            EXPECT_EQ(reader.offset(), row.consumed);
        }
        if (row.low && !row.failed) {
            EXPECT_EQ(tag, b[0]);
        }
        // A high tag matches no one-byte tag that a caller accepts.
        if (!row.low) {
            EXPECT_GT(tag, 0xFFu);
        }
    }
}

TEST(BerInteger, ContentOfEveryWorkedValue) {
    const struct {
        std::int32_t value;
        const char* content;
    } rows[] = {
        {0, "00"},          {5, "05"},          {127, "7F"},       {128, "00 80"},      {255, "00 FF"},
        {256, "01 00"},     {32767, "7F FF"},   {32768, "00 80 00"}, {-1, "FF"},        {-128, "80"},
        {-129, "FF 7F"},    {0x7FFFFFFF, "7F FF FF FF"}, {static_cast<std::int32_t>(0x80000000u), "80 00 00 00"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        const int n = integerContentLength(row.value);
        Bytes out(static_cast<std::size_t>(n));
        std::uint8_t* cursor = out.data();
        writeIntegerContent(cursor, row.value, n);
        EXPECT_EQ(cursor, out.data() + n);
        EXPECT_EQ(hexText(out), row.content);
        BerReader reader(out.data(), out.size());
        EXPECT_EQ(readInt32(reader, static_cast<std::uint32_t>(n)), row.value);
    }
}

TEST(BerInteger, ReadInt32Rules) {
    const struct {
        const char* content;
        std::uint32_t value;
    } rows[] = {
        {"FF", 0xFFFFFFFF},       {"00 FF", 255},        {"80 00", 0xFFFF8000}, {"80", 0xFFFFFF80},
        {"00 80", 128},           {"FF FF FF FF", 0xFFFFFFFF}, {"00 FF FF FF FF", 0xFFFFFFFF},
        {"01 00 00 00 00", 0},    {"80 00 00", 0xFF800000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.content);
        const Bytes b = hexBytes(row.content);
        BerReader reader(b.data(), b.size());
        EXPECT_EQ(static_cast<std::uint32_t>(readInt32(reader, static_cast<std::uint32_t>(b.size()))), row.value);
        EXPECT_TRUE(reader.atEnd());
        EXPECT_FALSE(reader.failed());
    }
}

TEST(BerInteger, SixtyFourBits) {
    const struct {
        std::uint64_t value;
        int n;
    } rows[] = {{0, 1}, {255, 2}, {0x7FFFFFFFFFFFFFFFull, 8}, {0xFFFFFFFFFFFFFFFFull, 9}, {1ull << 40, 6}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(integerContentLength(row.value), row.n);
    }
    const Bytes nine = hexBytes("00 FF FF FF FF FF FF FF FF");
    BerReader reader(nine.data(), nine.size());
    EXPECT_EQ(readUInt64(reader, 9), 0xFFFFFFFFFFFFFFFFull);
    const Bytes one = hexBytes("FF");
    BerReader single(one.data(), one.size());
    EXPECT_EQ(readUInt64(single, 1), 255u);
    // Content longer than the width: the bytes above it are zero on writing.
    Bytes out(9);
    std::uint8_t* cursor = out.data();
    writeIntegerContent(cursor, std::uint64_t{0xFFFFFFFFFFFFFFFFull}, 9);
    EXPECT_EQ(hexText(out), "00 FF FF FF FF FF FF FF FF");
    Bytes out32(5);
    cursor = out32.data();
    writeIntegerContent(cursor, static_cast<std::int32_t>(-1), 5);
    EXPECT_EQ(hexText(out32), "00 FF FF FF FF");
}

TEST(BerInteger, BadContentsNeverReadPastTheEnd) {
    const Bytes three = hexBytes("01 02 03");
    {
        BerReader reader(three.data(), three.size());
        EXPECT_EQ(readInt32(reader, 0), 0);  // zero bytes: nothing read
        EXPECT_FALSE(reader.failed());
        EXPECT_EQ(reader.offset(), 0u);
    }
    {
        BerReader reader(three.data(), three.size());
        EXPECT_EQ(readInt32(reader, 4), 0);
        EXPECT_TRUE(reader.failed());
    }
    {
        BerReader reader(three.data(), three.size());
        EXPECT_EQ(readUInt64(reader, 100), 0u);
        EXPECT_TRUE(reader.failed());
    }
}

TEST(BerOid, SubIdentifiersBothWays) {
    const struct {
        std::uint32_t value;
        const char* bytes;
    } rows[] = {
        {0, "00"},           {127, "7F"},           {128, "81 00"},          {16383, "FF 7F"},
        {16384, "81 80 00"}, {268435455, "FF FF FF 7F"}, {268435456, "81 80 80 80 00"},
        {4294967295u, "8F FF FF FF 7F"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        std::uint8_t out[5];
        const int c = writeSubId(out, row.value);
        EXPECT_EQ(c, subIdSize(row.value));
        EXPECT_EQ(hexText(out, static_cast<std::size_t>(c)), row.bytes);
        BerReader reader(out, static_cast<std::size_t>(c));
        EXPECT_EQ(readSubId(reader), row.value);
        EXPECT_TRUE(reader.atEnd());
    }
}

TEST(BerOid, SubIdentifierEdges) {
    // A continuation bit on the last byte ends the sub-identifier there.
    const Bytes open = hexBytes("81 82");
    BerReader reader(open.data(), open.size());
    EXPECT_EQ(readSubId(reader), (1u << 7) | 2u);
    EXPECT_FALSE(reader.failed());
    EXPECT_TRUE(reader.atEnd());
    // Beyond 32 bits: modulo 2^32.
    const Bytes big = hexBytes("90 80 80 80 01");
    BerReader wide(big.data(), big.size());
    EXPECT_EQ(readSubId(wide), 1u);
    // Nothing to read: failed, 0.
    BerReader empty(nullptr, 0);
    EXPECT_EQ(readSubId(empty), 0u);
    EXPECT_TRUE(empty.failed());
}

TEST(BerOid, FirstArcs) {
    const struct {
        std::uint8_t byte;
        std::uint32_t a, b;
    } rows[] = {{0x00, 0, 0}, {0x27, 0, 39}, {0x28, 1, 0}, {0x2B, 1, 3}, {0x50, 2, 0}, {0x7F, 2, 47}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.byte);
        BerReader reader(&row.byte, 1);
        std::uint32_t a = 9, b = 9;
        readFirstArcs(reader, a, b);
        EXPECT_EQ(a, row.a);
        EXPECT_EQ(b, row.b);
        std::uint8_t out = 0;
        std::uint8_t* cursor = &out;
        writeFirstArcs(cursor, row.a, row.b);
        EXPECT_EQ(out, row.byte);
        EXPECT_EQ(cursor, &out + 1);
    }
}

}  // namespace
