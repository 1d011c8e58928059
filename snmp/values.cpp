#include "snmp/values.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// Calls f(number) for each component of dotted text. Consecutive dots count as
// one separator; leading and trailing dots are ignored; null text has no
// components. Returns the count.
template <typename F>
std::size_t forEachComponent(const char* text, F&& f) {
    std::size_t count = 0;
    const char* p = text != nullptr ? text : "";
    while (*p != '\0') {
        if (*p == '.') {
            ++p;
            continue;
        }
        // The conversion stops at the first non-digit, so it never runs over a dot.
        f(parseDecimal(p, &p));
        ++count;
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
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    out.append(digits, end);
}

char* putHex(char* out, std::uint8_t byte) {
    static const char kHex[] = "0123456789abcdef";
    out[0] = kHex[byte >> 4];
    out[1] = kHex[byte & 0x0F];
    return out + 2;
}

// ---- SnmpValue -------------------------------------------------------------

std::unique_ptr<std::uint8_t[]> SnmpValue::toBytes() {
    auto buffer = std::make_unique<std::uint8_t[]>(encodedSize());
    std::uint8_t* cursor = buffer.get();
    encode(cursor);
    return buffer;
}

const char* SnmpValue::toString() {
    if (!text_) makeText(text_.emplace());
    return text_->c_str();
}

// ---- numbers ---------------------------------------------------------------

void SnmpNumber::setValue(std::int32_t v) {
    value_ = v;
    contentLength_ = static_cast<std::uint16_t>(integerContentLength(v));
    text_.reset();
}

void SnmpNumber::encode(std::uint8_t*& cursor) {
    writeHeader(cursor, static_cast<std::uint8_t>(tag()), contentLength_);
    // A negative INTEGER received in more than four bytes (FF FF FF FF FF for
    // -1) keeps its sign in the bytes above the four: filled with 0x00 they
    // would make it another number (4294967295). Counter, Gauge and TimeTicks
    // are unsigned, and keep the 0x00 of a 5-byte content.
    std::uint16_t n = contentLength_;
    for (; n > 4 && tag() == tags::kInteger && value_ < 0; --n) *cursor++ = 0xFF;
    writeIntegerContent(cursor, value_, n);
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
    text_.reset();
}

void SnmpNumber64::encode(std::uint8_t*& cursor) {
    writeHeader(cursor, static_cast<std::uint8_t>(tag()), contentLength_);
    writeIntegerContent(cursor, value_, contentLength_);
}

void SnmpNumber64::makeText(std::string& out) { appendDecimal(out, value_); }

// ---- byte strings ----------------------------------------------------------

void SnmpByteValue::setBytes(const std::uint8_t* data, std::size_t n) {
    bytes_.assign(data, data + n);
    contentLength_ = static_cast<std::uint16_t>(n);
    text_.reset();
}

void SnmpByteValue::encode(std::uint8_t*& cursor) {
    writeHeader(cursor, static_cast<std::uint8_t>(tag()), contentLength_);
    cursor = std::copy(bytes_.begin(), bytes_.end(), cursor);
}

SnmpOctetString::SnmpOctetString(const char* text) : SnmpByteValue(tags::kOctetString, "String") {
    // Null text is empty text.
    const std::size_t n = text != nullptr ? std::strlen(text) : 0;
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
    out.resize(2 * n);
    char* p = out.data();
    for (std::size_t i = 0; i < n; ++i) p = putHex(p, b[i]);
}

SnmpOid::SnmpOid(const char* text) : SnmpByteValue(tags::kOid, "OID") { setFromText(text); }

SnmpOid::SnmpOid(const std::uint8_t* content, std::size_t n) : SnmpByteValue(tags::kOid, "OID") {
    if (n > limits::kMaxContent) n = limits::kMaxContent;
    // Content that the decoder refuses (a sub-identifier past 32 bits) gives
    // the empty OID, as refused text does: read modulo 2^32 it would pass for
    // another OID.
    setBytes(content, subIdsFit(content, n) ? n : 0);
}

SnmpOid::SnmpOid(BerReader& reader) : SnmpByteValue(reader, tags::kOid, "OID") {
    if (!subIdsFit(bytes(), contentLength_)) reader.fail();
}

bool SnmpOid::setFromText(const char* text) {
    std::uint8_t scratch[limits::kOidScratch];
    std::size_t length = 0;
    std::size_t index = 0;
    std::uint32_t first = 0;
    bool ok = true;
    const char* p = text != nullptr ? text : "";
    const char* const end = p + std::strlen(p);
    while (ok && p != end) {
        // Dots separate; doubled, leading and trailing ones separate nothing.
        if (*p == '.') {
            ++p;
            continue;
        }
        // Digits alone, of at most 32 bits: a sign, a blank or any other
        // character fails here, after a number as before one.
        std::uint32_t number = 0;
        const auto [next, error] = std::from_chars(p, end, number);
        if (error != std::errc()) {
            ok = false;
            break;
        }
        p = next;
        if (index == 0) {
            first = number;
        } else if (index == 1) {
            // 40 * a + b: a is 0, 1 or 2; b stays below 40 unless a is 2, and
            // the sum within 32 bits.
            ok = first < 2 ? number < 40 : first == 2 && number <= 0xFFFFFFFFu - 80;
            std::uint8_t* cursor = scratch;
            if (ok) writeFirstArcs(cursor, first, number);
            length = static_cast<std::size_t>(cursor - scratch);
        } else if (length + static_cast<std::size_t>(subIdSize(number)) > sizeof scratch) {
            ok = false;
        } else {
            length += static_cast<std::size_t>(writeSubId(scratch + length, number));
        }
        ++index;
    }
    if (!ok || index < 2) {
        setBytes(nullptr, 0);
        return false;
    }
    setBytes(scratch, length);
    return true;
}

void SnmpOid::makeText(std::string& out) {
    if (contentLength_ == 0) return;
    // The first sub-identifier holds two arcs and every byte ends at most one;
    // each arc takes at most ten digits and a dot.
    out.resize(11 * (static_cast<std::size_t>(contentLength_) + 1));
    char* p = out.data();
    char* const end = p + out.size();
    BerReader reader(bytes(), contentLength_);
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    readFirstArcs(reader, a, b);
    p = std::to_chars(p, end, a).ptr;
    *p++ = '.';
    p = std::to_chars(p, end, b).ptr;
    while (!reader.atEnd()) {
        *p++ = '.';
        p = std::to_chars(p, end, readSubId(reader)).ptr;
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

int compareOids(const SnmpOid& a, const SnmpOid& b) {
    BerReader ra(a.bytes(), a.contentLength());
    BerReader rb(b.bytes(), b.contentLength());
    // The first sub-identifier holds two arcs, and 40 * a + b orders them as
    // the arcs do.
    while (!ra.atEnd() && !rb.atEnd()) {
        const std::uint32_t u = readSubId(ra);
        const std::uint32_t v = readSubId(rb);
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

const char* exceptionName(const SnmpValue* value) {
    switch (value != nullptr ? value->tag() : 0) {
        case tags::kNoSuchObject: return "noSuchObject";
        case tags::kNoSuchInstance: return "noSuchInstance";
        case tags::kEndOfMibView: return "endOfMibView";
        default: return nullptr;
    }
}

void SnmpOpaque::makeText(std::string& out) {
    const std::uint8_t* b = bytes();
    out.resize(contentLength_);
    for (std::size_t i = 0; i < contentLength_; ++i) out[i] = isPrintable(b[i]) ? static_cast<char>(b[i]) : ' ';
}
