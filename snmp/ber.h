// BER primitives: the length, tag, integer and sub-identifier rules of X.690 in the
// subset that SNMPv1 and SNMPv2c messages use, and the bounded reader that every
// decode of received bytes goes through.
#pragma once

#include <cstddef>
#include <cstdint>

// Limits named once for the whole library.
namespace limits {
// Bytes of one received datagram that the transport keeps.
constexpr std::size_t kReceiveBuffer = 4096;
// Scratch area in which an object identifier's content is assembled from text.
constexpr std::size_t kOidScratch = 4096;
// Content bytes that a value can hold: its length is a 16-bit number.
constexpr std::size_t kMaxContent = 65535;
}  // namespace limits

// BER tags that the library writes or reads at fixed places.
namespace tags {
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kNull = 0x05;
constexpr std::uint8_t kOid = 0x06;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kIpAddress = 0x40;
constexpr std::uint8_t kCounter = 0x41;
constexpr std::uint8_t kGauge = 0x42;
constexpr std::uint8_t kTimeTicks = 0x43;
constexpr std::uint8_t kOpaque = 0x44;
constexpr std::uint8_t kCounter64 = 0x46;
// RFC 3416, 3: what a binding carries in place of a value it cannot give.
constexpr std::uint8_t kNoSuchObject = 0x80;
constexpr std::uint8_t kNoSuchInstance = 0x81;
constexpr std::uint8_t kEndOfMibView = 0x82;
}  // namespace tags

// A read position over bytes that end somewhere known. Every reader of the
// library takes one; none can get past the end. A read that would go past it
// marks the reader failed, yields 0 and consumes nothing more; the failure is
// sticky, so a caller may read a whole element and check once at the end.
class BerReader {
public:
    BerReader(const std::uint8_t* data, std::size_t size) : begin_(data), pos_(data), end_(data + size) {}

    bool failed() const { return failed_; }
    bool atEnd() const { return pos_ >= end_; }
    // A failed reader stands at its end, so nothing remains.
    std::size_t remaining() const { return static_cast<std::size_t>(end_ - pos_); }
    std::size_t offset() const { return static_cast<std::size_t>(pos_ - begin_); }
    const std::uint8_t* position() const { return pos_; }

    void fail() { failed_ = true; pos_ = end_; }

    // One byte, or 0 and failed at the end.
    std::uint8_t readByte() {
        if (pos_ >= end_) { fail(); return 0; }
        return *pos_++;
    }

    // The next n bytes, or null and failed if fewer remain.
    const std::uint8_t* take(std::size_t n) {
        if (n > static_cast<std::size_t>(end_ - pos_)) { fail(); return nullptr; }
        const std::uint8_t* at = pos_;
        pos_ += n;
        return at;
    }

    // Steps over n bytes; failed if fewer remain.
    void skip(std::size_t n) { take(n); }

private:
    const std::uint8_t* begin_;
    const std::uint8_t* pos_;
    const std::uint8_t* end_;
    bool failed_ = false;
};

// Writers store their bytes at the encoding cursor and advance it. They do not
// know the end of the buffer: callers size it first with the functions below.

// Bytes that writeLength writes for n: 1 to 5.
int lengthFieldSize(std::uint32_t n);
// X.690 8.1.3: the definite length field of n; short form up to 126 (127 is
// written in the long form 81 7F), long form 0x80 | k followed by k bytes.
void writeLength(std::uint8_t*& cursor, std::uint32_t n);
// 1 + lengthFieldSize(n) + n: the size of an element with n content bytes.
inline std::uint32_t elementSize(std::uint32_t n) { return 1 + static_cast<std::uint32_t>(lengthFieldSize(n)) + n; }
// Writes a tag byte and the length field of n: every element starts this way.
inline void writeHeader(std::uint8_t*& cursor, std::uint8_t tag, std::uint32_t n) {
    *cursor++ = tag;
    writeLength(cursor, n);
}

// Reads a length field. The indefinite form (a lone 0x80) is not accepted and
// fails the reader; more than four length octets keep the value of the last four.
std::uint32_t readLength(BerReader& reader);
// Reads a tag. A byte below 0x80 is the tag itself; a byte with the top bit set
// starts a multi-byte tag that runs to the first byte without it, and yields a
// number above 0xFF that matches no tag the library accepts.
std::uint32_t readTag(BerReader& reader);

// Shortest two's-complement length of a 32-bit value: 1 to 4. Counter, Gauge
// and TimeTicks at or above 2^31 keep 4 bytes with the top bit set.
int integerContentLength(std::int32_t value);
// Shortest length of an unsigned 64-bit value as a non-negative INTEGER: 1 to
// 9, with a leading 00 where the top bit would be set.
int integerContentLength(std::uint64_t value);
// Writes n content bytes, most significant first; bytes above the value's width are 0x00.
void writeIntegerContent(std::uint8_t*& cursor, std::int32_t value, int n);
void writeIntegerContent(std::uint8_t*& cursor, std::uint64_t value, int n);
// Reads n content bytes. Contents of 1 to 3 bytes are sign-extended; longer than
// four bytes keep the last four. A content of 0 bytes yields 0 and reads nothing.
std::int32_t readInt32(BerReader& reader, std::uint32_t n);
// Whether n INTEGER content bytes hold a value within the signed 32-bit range,
// whatever their count: a longer encoding of such a value is read as that value.
bool int32Fits(const std::uint8_t* content, std::size_t n);
// Reads n content bytes without sign extension; longer than eight keep the last eight.
std::uint64_t readUInt64(BerReader& reader, std::uint32_t n);

// X.690 8.19.4: the first two arcs of an object identifier share the first
// sub-identifier, 40 * a + b, of as many bytes as it takes (2.999 is 88 37).
// The caller keeps a within 0..2, b within 0..39 below 2, and 40 * a + b
// within 32 bits.
void writeFirstArcs(std::uint8_t*& cursor, std::uint32_t a, std::uint32_t b);
void readFirstArcs(BerReader& reader, std::uint32_t& a, std::uint32_t& b);

// Writes a sub-identifier in base 128 at out and returns the byte count (1 to 5).
int writeSubId(std::uint8_t* out, std::uint32_t value);
// Bytes that writeSubId writes for value.
int subIdSize(std::uint32_t value);
// Reads one sub-identifier, modulo 2^32. A continuation bit on the last byte of
// the reader's bytes ends the sub-identifier there.
std::uint32_t readSubId(BerReader& reader);
// Whether every sub-identifier of an OBJECT IDENTIFIER's content fits 32 bits
// (leading zero groups aside), the most that SNMP's sub-identifiers hold.
bool subIdsFit(const std::uint8_t* content, std::size_t n);
