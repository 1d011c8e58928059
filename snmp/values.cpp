#include "snmp/values.h"

#include <bit>
#include <cstring>

namespace {

// Calls f(number) for each component of dotted text. Consecutive dots count as
// one separator; leading and trailing dots are ignored. Returns the count.
template <typename F>
std::size_t forEachComponent(const char* text, F&& f) {
    std::size_t count = 0;
    const char* p = text;
    while (*p != '\0') {
        if (*p == '.') {
            ++p;
            continue;
        }
        // The conversion stops at the first non-digit, so it never runs over a dot.
        const std::uint32_t number = parseDecimal(p);
        ++count;
        if (!f(number)) return count;
        while (*p != '\0' && *p != '.') ++p;
    }
    return count;
}

bool isPrintable(std::uint8_t b) { return b >= 0x20 && b <= 0x7E; }

}  // namespace

std::uint32_t parseDecimal(const char* text, const char** end) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    std::uint32_t v = 0;
    while (*p >= '0' && *p <= '9') v = v * 10u + static_cast<std::uint32_t>(*p++ - '0');
    if (end != nullptr) *end = p;
    return negative ? 0u - v : v;
}

void appendDecimal(std::string& out, std::uint64_t v) {
    char digits[20];
    char* p = digits + sizeof digits;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    out.append(p, static_cast<std::size_t>(digits + sizeof digits - p));
}

// ---- SnmpValue -------------------------------------------------------------

std::unique_ptr<std::uint8_t[]> SnmpValue::toBytes() {
    auto buffer = std::make_unique<std::uint8_t[]>(encodedSize());
    std::uint8_t* cursor = buffer.get();
    encode(cursor);
    return buffer;
}

const char* SnmpValue::toString() {
    if (!text_) {
        auto text = std::make_unique<std::string>();
        makeText(*text);
        text_ = std::move(text);
    }
    return text_->c_str();
}

// ---- numbers ---------------------------------------------------------------

void SnmpNumber::readLong(BerReader& reader) {
    readContentLength(reader);
    value_ = readInt32(reader, contentLength_);
}

void SnmpNumber::setValue(std::int32_t v) {
    value_ = v;
    contentLength_ = static_cast<std::uint16_t>(integerContentLength(v));
}

void SnmpNumber::encode(std::uint8_t*& cursor) {
    const std::uint16_t n = contentLength_;
    const std::int32_t v = value_;
    writeHeader(cursor, static_cast<std::uint8_t>(tag()), n);
    writeIntegerContent(cursor, v, n);
}

void SnmpNumber::makeText(std::string& out) {
    // Counter, Gauge and TimeTicks are unsigned quantities: 4294967295, not -1.
    if (tag() == tags::kInteger && value_ < 0) {
        out.push_back('-');
        appendDecimal(out, 0u - static_cast<std::uint32_t>(value_));
    } else {
        appendDecimal(out, static_cast<std::uint32_t>(value_));
    }
}

SnmpNumber64::SnmpNumber64(BerReader& reader, std::uint16_t tag, const char* typeName)
    : SnmpValue(reader, tag, typeName) {
    value_ = readUInt64(reader, contentLength_);
}

void SnmpNumber64::setValue(std::uint64_t v) {
    value_ = v;
    contentLength_ = static_cast<std::uint16_t>(integerContentLength(v));
}

void SnmpNumber64::encode(std::uint8_t*& cursor) {
    const std::uint16_t n = contentLength_;
    const std::uint64_t v = value_;
    writeHeader(cursor, static_cast<std::uint8_t>(tag()), n);
    writeIntegerContent(cursor, v, n);
}

void SnmpNumber64::makeText(std::string& out) { appendDecimal(out, value_); }

// ---- byte strings ----------------------------------------------------------

void ContentBytes::assignOnHeap(const std::uint8_t* data, std::size_t n) {
    std::uint8_t* target = inline_;
    if (n > kInline) {
        heap_ = std::make_unique<std::uint8_t[]>(n);
        target = heap_.get();
    } else {
        heap_.reset();
    }
    copyBytes(target, data, n);
}

void SnmpByteValue::setBytes(const std::uint8_t* data, std::size_t n) {
    bytes_.assign(data, n);
    contentLength_ = static_cast<std::uint16_t>(n);
}

void SnmpByteValue::encode(std::uint8_t*& cursor) {
    const std::uint16_t n = contentLength_;
    const std::uint8_t* content = bytes_.data();
    std::uint8_t* p = cursor;
    writeHeader(p, static_cast<std::uint8_t>(tag()), n);
    copyBytes(p, content, n);
    cursor = p + n;
}

SnmpOctetString::SnmpOctetString(const char* text) : SnmpByteValue(tags::kOctetString, "String") {
    const std::size_t n = std::strlen(text);
    setBytes(reinterpret_cast<const std::uint8_t*>(text), n < limits::kMaxContent ? n : limits::kMaxContent);
}

SnmpOctetString::SnmpOctetString(const std::uint8_t* data, std::size_t n) : SnmpByteValue(tags::kOctetString, "String") {
    setBytes(data, n < limits::kMaxContent ? n : limits::kMaxContent);
}

void SnmpOctetString::makeText(std::string& out) {
    const std::uint8_t* b = bytes();
    const std::size_t n = contentLength_;
    nonPrintable_ = false;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = b[i];
        if (isPrintable(c) || c == '\t' || c == '\n' || c == '\r') continue;
        // A single trailing NUL, as some agents send with their strings, stays text.
        nonPrintable_ = !(i + 1 == n && c == 0);
        break;
    }
    if (!nonPrintable_) {
        out.assign(reinterpret_cast<const char*>(b), n);
        return;
    }
    static const char kHex[] = "0123456789abcdef";
    out.resize(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = kHex[b[i] >> 4];
        out[2 * i + 1] = kHex[b[i] & 0x0F];
    }
}

SnmpOid::SnmpOid(const char* text) : SnmpByteValue(tags::kOid, "OID") { setFromText(text); }

SnmpOid::SnmpOid(const std::uint8_t* content, std::size_t n) : SnmpByteValue(tags::kOid, "OID") {
    setBytes(content, n < limits::kMaxContent ? n : limits::kMaxContent);
}

bool SnmpOid::setFromText(const char* text) {
    std::uint8_t scratch[limits::kOidScratch];
    std::size_t length = 0;
    std::size_t index = 0;
    std::uint32_t first = 0;
    bool ok = true;
    forEachComponent(text, [&](std::uint32_t number) {
        if (index == 0) {
            first = number;
        } else if (index == 1) {
            // The first two arcs must fit the one byte 40 * a + b.
            const std::uint32_t limit = first < 2 ? 39 : 47;
            if (first > 2 || number > limit) ok = false;
            std::uint8_t* cursor = scratch;
            if (ok) writeFirstArcs(cursor, first, number);
            length = 1;
        } else if (length + static_cast<std::size_t>(subIdSize(number)) > sizeof scratch) {
            ok = false;
        } else {
            length += static_cast<std::size_t>(writeSubId(scratch + length, number));
        }
        ++index;
        return ok;
    });
    if (!ok || index < 2) {
        setBytes(nullptr, 0);
        return false;
    }
    setBytes(scratch, length);
    return true;
}

void SnmpOid::makeText(std::string& out) {
    if (contentLength_ == 0) return;
    out.reserve(11u * contentLength_);
    BerReader reader(bytes(), contentLength_);
    std::uint16_t a = 0;
    std::uint16_t b = 0;
    readFirstArcs(reader, a, b);
    appendDecimal(out, a);
    out.push_back('.');
    appendDecimal(out, b);
    while (!reader.atEnd()) {
        out.push_back('.');
        appendDecimal(out, readSubId(reader));
    }
}

namespace {
// Reads the rest of a sub-identifier whose first byte (first, at p[-1]) has
// the top bit, as readSubId reads it, and notes in shortest any form that the
// text would not give back: a needless leading group, a last byte with the
// top bit, more than 32 bits.
std::uint32_t readLongArc(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t first, bool& shortest) {
    std::uint32_t v = first & 0x7Fu;
    std::uint8_t last = first;
    std::size_t length = 1;
    while ((last & 0x80) != 0 && p < end) {
        last = *p++;
        v = (v << 7) | (last & 0x7Fu);
        ++length;
    }
    if (first == 0x80 || (last & 0x80) != 0 || length > 5 || (length == 5 && first > 0x8F)) shortest = false;
    return v;
}
}  // namespace

std::size_t SnmpOid::arcs(std::uint32_t* out, std::size_t max, bool* canonical) const {
    const std::uint8_t* p = bytes();
    const std::uint8_t* const end = p + contentLength_;
    if (p == end) {
        if (canonical != nullptr) *canonical = true;
        return 0;
    }
    // The first byte holds two arcs, 40 * a + b, as readFirstArcs reads them.
    const std::uint8_t x = *p++;
    const std::uint32_t a = x < 40 ? 0 : x < 80 ? 1 : 2;
    if (max > 0) out[0] = a;
    if (max > 1) out[1] = x - 40 * a;
    std::size_t count = 2;
    bool shortest = x < 0x80;
    // Most arcs of a walk fit one byte: while eight bytes in a row are all
    // below 0x80 (and out has room), they are eight arcs.
    while (end - p >= 8 && max >= count && max - count >= 8) {
        std::uint64_t chunk = 0;
        std::memcpy(&chunk, p, 8);
        if ((chunk & 0x8080808080808080ull) != 0) break;
        for (int k = 0; k < 8; ++k) out[count + k] = p[k];
        p += 8;
        count += 8;
    }
    while (p < end) {
        std::uint32_t v = *p++;
        if (v >= 0x80) [[unlikely]]
            v = readLongArc(p, end, static_cast<std::uint8_t>(v), shortest);
        if (count < max) out[count] = v;
        ++count;
    }
    if (canonical != nullptr) *canonical = shortest;
    return count;
}

int compareArcs(const std::uint32_t* a, std::size_t na, const std::uint32_t* b, std::size_t nb) {
    const std::size_t common = na < nb ? na : nb;
    std::size_t i = 0;
    // Successive OIDs of a walk share most of their arcs: the equal run is
    // stepped over four arcs at a time.
    while (i + 4 <= common) {
        std::uint64_t x[2];
        std::uint64_t y[2];
        std::memcpy(x, a + i, 16);
        std::memcpy(y, b + i, 16);
        if (((x[0] ^ y[0]) | (x[1] ^ y[1])) != 0) break;
        i += 4;
    }
    for (; i < common; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return na == nb ? 0 : na < nb ? -1 : 1;
}

bool SnmpOid::isCanonical() const {
    bool canonical = false;
    std::uint32_t ignored[1];
    arcs(ignored, 0, &canonical);
    return canonical;
}

int compareOids(const SnmpOid& a, const SnmpOid& b) {
    const std::uint8_t* x = a.bytes();
    const std::uint8_t* y = b.bytes();
    const std::size_t nx = a.contentLength();
    const std::size_t ny = b.contentLength();
    // Identical leading bytes hold identical arcs, so the comparison starts at
    // the element where the bytes first differ: the first-arcs byte, or the
    // start of the sub-identifier that holds the first differing byte.
    const std::size_t common = nx < ny ? nx : ny;
    std::size_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight bytes at a time; the lowest differing bit names the first differing byte.
        while (k + 8 <= common) {
            std::uint64_t u = 0;
            std::uint64_t v = 0;
            std::memcpy(&u, x + k, 8);
            std::memcpy(&v, y + k, 8);
            if (u != v) {
                k += static_cast<std::size_t>(std::countr_zero(u ^ v)) / 8;
                break;
            }
            k += 8;
        }
    }
    while (k < common && x[k] == y[k]) ++k;
    if (k == nx && k == ny) return 0;
    std::size_t start = k;
    while (start > 1 && (x[start - 1] & 0x80) != 0) --start;
    BerReader ra(x + start, nx - start);
    BerReader rb(y + start, ny - start);
    // The first byte holds two arcs, and 40 * a + b orders them as the arcs do.
    bool first = start == 0;
    while (!ra.atEnd() && !rb.atEnd()) {
        const std::uint32_t u = first ? ra.readByte() : readSubId(ra);
        const std::uint32_t v = first ? rb.readByte() : readSubId(rb);
        first = false;
        if (u != v) return u < v ? -1 : 1;
    }
    if (ra.atEnd() && rb.atEnd()) return 0;
    return ra.atEnd() ? -1 : 1;
}

SnmpIpAddress::SnmpIpAddress(const char* text) : SnmpByteValue(tags::kIpAddress, "IpAddress") { setFromText(text); }

bool SnmpIpAddress::setFromText(const char* text) {
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::size_t index = 0;
    const std::size_t count = forEachComponent(text, [&](std::uint32_t number) {
        if (index < 4) address[index] = static_cast<std::uint8_t>(number);
        ++index;
        return true;
    });
    setBytes(address, 4);
    return count == 4;
}

void SnmpIpAddress::makeText(std::string& out) {
    const std::uint8_t* b = bytes();
    for (std::size_t i = 0; i < contentLength_; ++i) {
        if (i != 0) out.push_back('.');
        appendDecimal(out, b[i]);
    }
}

void SnmpOpaque::makeText(std::string& out) {
    const std::uint8_t* b = bytes();
    out.resize(contentLength_);
    for (std::size_t i = 0; i < contentLength_; ++i) out[i] = isPrintable(b[i]) ? static_cast<char>(b[i]) : ' ';
}
