// SNMP values: the numbers (Integer, Counter, Gauge, TimeTicks, Counter64) and
// the byte strings (OCTET STRING, OBJECT IDENTIFIER, IpAddress, Opaque). Each
// value knows its tag and type name, encodes itself, can be built from received
// bytes, and shows itself as text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "snmp/ber.h"

// Root of everything that encodes itself: values, bindings, lists, PDUs, messages.
class BerObject {
public:
    virtual ~BerObject() = default;
    // Writes the object at the cursor and advances it.
    virtual void encode(std::uint8_t*& cursor) = 0;

protected:
    BerObject() = default;
    BerObject(const BerObject&) = default;
    BerObject& operator=(const BerObject&) = default;
};

class SnmpValue : public BerObject {
public:
    SnmpValue(const SnmpValue&) = delete;
    SnmpValue& operator=(const SnmpValue&) = delete;

    // A new buffer of exactly encodedSize() bytes holding the encoding.
    virtual std::unique_ptr<std::uint8_t[]> toBytes();
    // The value's text, made at the first call and kept: the pointer stays valid
    // and the same until the value is given new content (setValue, setFromText).
    virtual const char* toString();
    // Tag, length field and content: 1 + lengthFieldSize(n) + n.
    std::uint32_t encodedSize() const { return elementSize(contentLength_); }

    std::uint16_t contentLength() const { return contentLength_; }
    std::uint16_t tag() const { return tag_; }
    const char* typeName() const { return typeName_; }

protected:
    SnmpValue(std::uint16_t tag, const char* typeName) : tag_(tag), typeName_(typeName) {}
    // The tag byte has been read; reads the length field. A length that runs past
    // the reader's bytes fails the reader and leaves an empty content.
    SnmpValue(BerReader& reader, std::uint16_t tag, const char* typeName) : tag_(tag), typeName_(typeName) {
        readContentLength(reader);
    }
    // Reads the length field into contentLength_.
    void readContentLength(BerReader& reader) {
        const std::uint32_t n = readLength(reader);
        // A content that is not all there, or that a 16-bit length cannot hold,
        // cannot be taken: the element is damaged.
        if (n > reader.remaining() || n > limits::kMaxContent) [[unlikely]] {
            reader.fail();
            return;
        }
        contentLength_ = static_cast<std::uint16_t>(n);
    }

    // Builds the text form into out (empty on entry).
    virtual void makeText(std::string& out) = 0;

    std::uint16_t contentLength_ = 0;
    // Made at the first toString(); most values are never shown as text. New
    // content drops it, to be made again.
    std::optional<std::string> text_;

private:
    std::uint16_t tag_;
    const char* typeName_;
};

// The 32-bit numbers. Counter, Gauge and TimeTicks share the two's-complement
// wire form of INTEGER; their text is unsigned, Integer's signed.
class SnmpNumber : public SnmpValue {
public:
    void encode(std::uint8_t*& cursor) override;
    virtual std::int32_t value() const { return value_; }
    virtual void setValue(std::int32_t v);

protected:
    SnmpNumber(std::uint16_t tag, const char* typeName, std::int32_t v) : SnmpValue(tag, typeName) { setValue(v); }
    // Reads the length and the content.
    SnmpNumber(BerReader& reader, std::uint16_t tag, const char* typeName)
        : SnmpValue(reader, tag, typeName), value_(readInt32(reader, contentLength_)) {}
    void makeText(std::string& out) override;

    std::int32_t value_ = 0;
};

class SnmpInteger final : public SnmpNumber {
public:
    explicit SnmpInteger(std::int32_t v) : SnmpNumber(tags::kInteger, "Integer", v) {}
    explicit SnmpInteger(BerReader& reader) : SnmpNumber(reader, tags::kInteger, "Integer") {}
};

class SnmpCounter final : public SnmpNumber {
public:
    explicit SnmpCounter(BerReader& reader) : SnmpNumber(reader, tags::kCounter, "Counter") {}
};

class SnmpGauge final : public SnmpNumber {
public:
    explicit SnmpGauge(BerReader& reader) : SnmpNumber(reader, tags::kGauge, "Gauge") {}
};

class SnmpTimeTicks final : public SnmpNumber {
public:
    explicit SnmpTimeTicks(std::int32_t v) : SnmpNumber(tags::kTimeTicks, "TimeTick", v) {}
    explicit SnmpTimeTicks(BerReader& reader) : SnmpNumber(reader, tags::kTimeTicks, "TimeTick") {}
};

// The 64-bit numbers.
class SnmpNumber64 : public SnmpValue {
public:
    void encode(std::uint8_t*& cursor) override;
    virtual std::uint64_t value() const { return value_; }
    virtual void setValue(std::uint64_t v);

protected:
    SnmpNumber64(BerReader& reader, std::uint16_t tag, const char* typeName);
    void makeText(std::string& out) override;

    std::uint64_t value_ = 0;
};

class SnmpCounter64 final : public SnmpNumber64 {
public:
    explicit SnmpCounter64(BerReader& reader) : SnmpNumber64(reader, tags::kCounter64, "Counter64") {}
};

// Common ground of the four byte-string values: content held as received, and
// encoded as tag, length and those bytes.
class SnmpByteValue : public SnmpValue {
public:
    void encode(std::uint8_t*& cursor) override;
    const std::uint8_t* bytes() const { return bytes_.data(); }

protected:
    SnmpByteValue(std::uint16_t tag, const char* typeName) : SnmpValue(tag, typeName) {}
    // Reads the length and copies the content.
    SnmpByteValue(BerReader& reader, std::uint16_t tag, const char* typeName) : SnmpValue(reader, tag, typeName) {
        const std::uint8_t* content = reader.take(contentLength_);
        if (content != nullptr) bytes_.assign(content, content + contentLength_);
    }
    void setBytes(const std::uint8_t* data, std::size_t n);

    std::vector<std::uint8_t> bytes_;
};

class SnmpOctetString final : public SnmpByteValue {
public:
    // The text's characters without the terminator (none for null text). Text
    // beyond 65535 bytes is cut there: the length on the wire always matches
    // the content.
    explicit SnmpOctetString(const char* text);
    SnmpOctetString(const std::uint8_t* data, std::size_t n);
    explicit SnmpOctetString(BerReader& reader) : SnmpByteValue(reader, tags::kOctetString, "String") {}

    // Decided when the text is made: some byte is neither printable nor tab,
    // line feed or carriage return (a single trailing NUL does not count).
    bool nonPrintable() const { return nonPrintable_; }

protected:
    void makeText(std::string& out) override;

private:
    bool nonPrintable_ = false;
};

class SnmpOid final : public SnmpByteValue {
public:
    // Dotted decimal, as setFromText takes it; null text is empty text. Text
    // that setFromText refuses gives an empty OID: contentLength() is 0.
    explicit SnmpOid(const char* text);
    // From the content bytes; content with a sub-identifier past 32 bits gives
    // an empty OID too.
    SnmpOid(const std::uint8_t* content, std::size_t n);
    // A content with a sub-identifier past 32 bits fails the reader: SNMP's
    // sub-identifiers are 32-bit (RFC 2578, 3.5), and one taken modulo 2^32
    // would name another object.
    explicit SnmpOid(BerReader& reader);

    // Builds the content from dotted decimal text ("1.3.6.1"; doubled, leading
    // and trailing dots separate nothing). Refused, with the result false and
    // the OID empty: anything but digits and dots (a sign, a blank, a letter),
    // a number above 4294967295, fewer than two components, a first arc above
    // 2, a second above 39 under a first of 0 or 1, or a content beyond the
    // scratch area.
    bool setFromText(const char* text);

protected:
    void makeText(std::string& out) override;
};

// Orders two object identifiers arc by arc, as SNMP orders a walk: negative,
// zero or positive as a comes before, equals or follows b.
int compareOids(const SnmpOid& a, const SnmpOid& b);

class SnmpIpAddress final : public SnmpByteValue {
public:
    // Dotted decimal, as setFromText takes it; null text is empty text.
    explicit SnmpIpAddress(const char* text);
    explicit SnmpIpAddress(BerReader& reader) : SnmpByteValue(reader, tags::kIpAddress, "IpAddress") {}

    // Always four bytes: the components in order, each cut to its low 8 bits;
    // missing components give 0 and components after the fourth are ignored.
    // The result tells whether the text had exactly four components.
    bool setFromText(const char* text);

protected:
    void makeText(std::string& out) override;
};

// Any value whose tag the decoder does not know (NULL and the SNMPv2 exceptions
// among them): the content kept as received, under the tag 0x44.
class SnmpOpaque final : public SnmpByteValue {
public:
    explicit SnmpOpaque(BerReader& reader) : SnmpByteValue(reader, tags::kOpaque, "Opaque") {}
    // The same, keeping the tag received: for the SNMPv2 exceptions, which
    // would otherwise not be told from an Opaque (see exceptionName).
    SnmpOpaque(BerReader& reader, std::uint8_t tag) : SnmpByteValue(reader, tag, "Opaque") {}

protected:
    void makeText(std::string& out) override;
};

// The SNMPv2 exception that a binding carries in place of a value (RFC 3416,
// 3): "noSuchObject", "noSuchInstance" or "endOfMibView"; null for a value.
const char* exceptionName(const SnmpValue* value);

// Decimal number conversion of the text forms: leading white space, one sign,
// digits up to the first non-digit, 0 without digits, modulo 2^32.
std::uint32_t parseDecimal(const char* text, const char** end = nullptr);
// Appends v in decimal.
void appendDecimal(std::string& out, std::uint64_t v);
// Writes a byte as two lower-case hex digits at out; returns their end.
char* putHex(char* out, std::uint8_t byte);
