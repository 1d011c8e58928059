#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "snmp/decoder.h"
#include "snmp/values.h"
#include "tests/messages.h"

namespace {

// A value from its encoded bytes (tag included), made by the decoder as the
// value of a GetResponse's one binding, and taken from it.
std::unique_ptr<SnmpValue> decodeOne(const Bytes& value) {
    const auto message = decoded(response(element(0x30, hexBytes("06 03 2B 06 01") + value)));
    SnmpVarbind* binding = message != nullptr ? message->varbindList()->head() : nullptr;
    if (binding == nullptr) return nullptr;
    std::unique_ptr<SnmpValue> taken(binding->value());
    binding->setValue(nullptr);
    return taken;
}

TEST(Values, NumbersFromNativeValues) {
    const struct {
        std::int32_t v;
        bool ticks;
        const char* bytes;
        const char* text;
    } rows[] = {
        {0, false, "02 01 00", "0"},
        {-1, false, "02 01 FF", "-1"},
        {128, false, "02 02 00 80", "128"},
        {5, false, "02 01 05", "5"},
        {-2147483647 - 1, false, "02 04 80 00 00 00", "-2147483648"},
        {100, true, "43 01 64", "100"},
        {-1, true, "43 01 FF", "4294967295"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        std::unique_ptr<SnmpNumber> value;
        if (row.ticks) value = std::make_unique<SnmpTimeTicks>(row.v);
        else value = std::make_unique<SnmpInteger>(row.v);
        const Bytes encoded = encodeExactly(*value);
        EXPECT_EQ(hexText(encoded), row.bytes);
        EXPECT_EQ(value->encodedSize(), encoded.size());
        // toBytes gives the same bytes in a buffer of its own.
        const auto own = value->toBytes();
        EXPECT_EQ(Bytes(own.get(), own.get() + encoded.size()), encoded);
        EXPECT_STREQ(value->toString(), row.text);
        EXPECT_STREQ(value->typeName(), row.ticks ? "TimeTick" : "Integer");
    }
}

TEST(Values, DecodedValuesTextAndReencoding) {
    const struct {
        const char* bytes;
        const char* typeName;
        const char* text;
        std::uint16_t contentLength;
    } rows[] = {
        // Unsigned types show unsigned decimal; the wire form stays as received.
        {"41 05 00 FF FF FF FF", "Counter", "4294967295", 5},
        {"42 01 FF", "Gauge", "4294967295", 1},
        {"42 01 07", "Gauge", "7", 1},
        {"43 02 01 00", "TimeTick", "256", 2},
        {"46 03 01 00 00", "Counter64", "65536", 3},
        {"43 04 80 00 00 00", "TimeTick", "2147483648", 4},
        {"02 01 80", "Integer", "-128", 1},
        {"02 05 FF FF FF FF FF", "Integer", "-1", 5},  // the bytes above four keep the sign
        {"02 00", "Integer", "0", 0},
        {"46 09 00 FF FF FF FF FF FF FF FF", "Counter64", "18446744073709551615", 9},
        {"46 01 FF", "Counter64", "255", 1},
        {"04 03 61 62 63", "String", "abc", 3},
        {"04 00", "String", "", 0},
        {"06 08 2B 06 01 02 01 01 03 00", "OID", "1.3.6.1.2.1.1.3.0", 8},
        {"06 07 2B 06 01 04 01 81 40", "OID", "1.3.6.1.4.1.192", 7},
        {"06 01 2B", "OID", "1.3", 1},
        {"06 00", "OID", "", 0},
        {"40 04 C0 A8 01 01", "IpAddress", "192.168.1.1", 4},
        {"40 06 01 02 03 04 05 06", "IpAddress", "1.2.3.4.5.6", 6},
        // Any other tag: its content as an Opaque.
        {"05 00", "Opaque", "", 0},
        {"80 00", "Opaque", "", 0},
        {"81 00", "Opaque", "", 0},
        {"82 00", "Opaque", "", 0},
        {"44 03 41 00 42", "Opaque", "A B", 3},
        {"44 03 09 0A 0D", "Opaque", "   ", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        const Bytes in = hexBytes(row.bytes);
        auto value = decodeOne(in);
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value->typeName(), row.typeName);
        EXPECT_STREQ(value->toString(), row.text);
        EXPECT_EQ(value->contentLength(), row.contentLength);
        Bytes expected = in;
        // Opaque keeps the content under its own tag, whatever tag arrived,
        // but for the SNMPv2 exceptions (80 to 82), which keep theirs.
        if (std::string(row.typeName) == "Opaque" && (in[0] < 0x80 || in[0] > 0x82)) expected[0] = 0x44;
        EXPECT_EQ(hexText(encodeExactly(*value)), hexText(expected));
    }
}

TEST(Values, OctetStringText) {
    const struct {
        const char* bytes;
        std::string text;
        bool nonPrintable;
    } rows[] = {
        {"61 62 63", "abc", false},
        {"61 62 63 00", std::string("abc\0", 4), false},
        {"61 62 00 63", "61620063", true},
        {"00 1A 2B 3C 4D 5E", "001a2b3c4d5e", true},
        {"41 42 43 44 45 46", "ABCDEF", false},
        {"00", std::string("\0", 1), false},
        {"", "", false},
        {"61 09 62", "a\tb", false},
        {"61 0A 0D", "a\n\r", false},
        {"00 00", "0000", true},
        {"FF", "ff", true},
        {"20 7E", " ~", false},  // the printable range's two ends
        {"61 7F", "617f", true},
        {"61 1F", "611f", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        const Bytes b = hexBytes(row.bytes);
        SnmpOctetString value(b.data(), b.size());
        const char* text = value.toString();
        EXPECT_EQ(std::string(text, value.nonPrintable() ? 2 * b.size() : b.size()), row.text);
        EXPECT_EQ(text[row.text.size()], '\0');
        EXPECT_EQ(value.nonPrintable(), row.nonPrintable);
        // The visible text of "abc" with a trailing NUL is abc.
        if (b.size() == 4 && b[3] == 0 && !row.nonPrintable) {
            EXPECT_STREQ(text, "abc");
        }
    }
}

TEST(Values, OctetStringSizesAcrossLengthBoundaries) {
    for (std::size_t n : {0u, 1u, 126u, 127u, 128u, 255u, 256u, 1000u, 65535u}) {
        SCOPED_TRACE(n);
        const std::string text(n, 'x');
        SnmpOctetString value(text.c_str());
        EXPECT_EQ(value.contentLength(), n);
        const Bytes encoded = encodeExactly(value);
        EXPECT_EQ(encoded.size(), value.encodedSize());
        EXPECT_EQ(encoded.size(), 1 + static_cast<std::size_t>(lengthFieldSize(static_cast<std::uint32_t>(n))) + n);
        if (n == 127) {
            EXPECT_EQ(hexText(Bytes(encoded.begin(), encoded.begin() + 3)), "04 81 7F");
        }
    }
    SnmpOctetString abc("abc");
    EXPECT_EQ(hexText(encodeExactly(abc)), "04 03 61 62 63");
    // A text beyond 65535 bytes is cut there, and the length on the wire says so.
    const std::string huge(70000, 'y');
    SnmpOctetString cut(huge.c_str());
    EXPECT_EQ(cut.contentLength(), 65535);
    const Bytes encoded = encodeExactly(cut);
    EXPECT_EQ(hexText(Bytes(encoded.begin(), encoded.begin() + 4)), "04 82 FF FF");
    EXPECT_EQ(encoded.size(), 65535u + 4);
}

TEST(Values, OidFromText) {
    const struct {
        const char* text;
        const char* content;  // null: refused, empty OID
        const char* shown;
    } rows[] = {
        {"1.3.6.1.2.1.4.22.1.2", "2B 06 01 02 01 04 16 01 02", "1.3.6.1.2.1.4.22.1.2"},
        {"1.3.6.1.2.1.4.22.1.2.5.192.168.1.1", "2B 06 01 02 01 04 16 01 02 05 81 40 81 28 01 01",
         "1.3.6.1.2.1.4.22.1.2.5.192.168.1.1"},
        {"1.3.6.1.2.1.1.3.0", "2B 06 01 02 01 01 03 00", "1.3.6.1.2.1.1.3.0"},
        {"1.3", "2B", "1.3"},
        {"..1..3.6.", "2B 06", "1.3.6"},           // extra dots are separators
        {"1.3.4294967295", "2B 8F FF FF FF 7F", "1.3.4294967295"},
        {"0.39", "27", "0.39"},
        {"2.47", "7F", "2.47"},
        {"2.999.3", "88 37 03", "2.999.3"},        // the first sub-identifier in two bytes
        {"2.4294967215", "8F FF FF FF 7F", "2.4294967215"},  // 80 + 4294967215: the first in 32 bits
        {"2.4294967216", nullptr, ""},                        // and one more passes them
        // Text that is not dotted decimal numbers of 32 bits.
        {"1.3.6.x.1", nullptr, ""},
        {"1.3.-1", nullptr, ""},
        {"1.3.4294967296", nullptr, ""},
        {" 1.3", nullptr, ""},
        {"1", nullptr, ""},                         // fewer than two components
        {"", nullptr, ""},
        {"1.40", nullptr, ""},                      // a second arc of 40 under a first of 1
        {"3.1", nullptr, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        SnmpOid oid(row.text);
        const Bytes content(oid.bytes(), oid.bytes() + oid.contentLength());
        EXPECT_EQ(hexText(content), row.content != nullptr ? row.content : "");
        EXPECT_STREQ(oid.toString(), row.shown);
        // An OID whose content was too long to live inside the object: the
        // new content replaces it, short or long, with no byte of the old.
        SnmpOid again("1.3.6.1.4.1.4294967295.4294967295.4294967295.4294967295.4294967295.4294967295");
        EXPECT_EQ(again.setFromText(row.text), row.content != nullptr);
        EXPECT_EQ(hexText(Bytes(again.bytes(), again.bytes() + again.contentLength())),
                  row.content != nullptr ? row.content : "");
    }
}

TEST(Values, OidContentBeyondTheScratchAreaIsRefused) {
    std::string text = "1.3";
    while (text.size() < 20000) text += ".4294967295";  // 5 bytes each: far beyond 4096
    SnmpOid oid("1.3.6");
    EXPECT_FALSE(oid.setFromText(text.c_str()));
    EXPECT_EQ(oid.contentLength(), 0);
    // Just inside: 1 + 819 * 5 = 4096 bytes.
    std::string fits = "1.3";
    for (int i = 0; i < 819; ++i) fits += ".4294967295";
    EXPECT_TRUE(oid.setFromText(fits.c_str()));
    EXPECT_EQ(oid.contentLength(), 4096);
    fits += ".1";
    EXPECT_FALSE(oid.setFromText(fits.c_str()));
}

TEST(Values, OidTextRoundTrip) {
    const std::uint32_t arcs[] = {0, 1, 127, 128, 16383, 16384, 2097151, 2097152, 268435455, 268435456, 4294967295u};
    std::string text = "1.3.6.1.4.1";
    for (std::uint32_t arc : arcs) text += "." + std::to_string(arc);
    SnmpOid first(text.c_str());
    EXPECT_EQ(std::string(first.toString()), text);
    SnmpOid second(first.toString());
    ASSERT_EQ(second.contentLength(), first.contentLength());
    EXPECT_EQ(Bytes(second.bytes(), second.bytes() + second.contentLength()),
              Bytes(first.bytes(), first.bytes() + first.contentLength()));
}

// The sign of an ordering result: -1, 0 or 1.
int sign(int order) { return order < 0 ? -1 : order > 0 ? 1 : 0; }

// The order agrees with the expected one, either way round.
void expectOrder(const SnmpOid& a, const SnmpOid& b, int order) {
    EXPECT_EQ(sign(compareOids(a, b)), order);
    EXPECT_EQ(sign(compareOids(b, a)), -order);
}

TEST(Values, OidOrder) {
    const struct {
        const char* a;
        const char* b;
        int order;
    } rows[] = {
        {"1.3.6.1", "1.3.6.1", 0},
        {"1.3.6", "1.3.6.1", -1},
        {"1.3.6.2", "1.3.6.1.5", 1},
        {"1.3.6.16384", "1.3.6.256", 1},  // byte order would say otherwise
        {"1.3.6.127", "1.3.6.128", -1},
        {"1.3", "2.0", -1},
        {"1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", "1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", -1},
        // Differences before, at and after each run of four equal arcs.
        {"1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", "1.3.6.1.2.1.4.22.1.2.1.10.0.0.1.0", -1},
        {"1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", "1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", 0},
        {"1.3.6.1.3", "1.3.6.1.2.1.4.22", 1},
        {"1.3.6.1.2.1.4.22.1.3", "1.3.6.1.2.1.4.22.1.2.1", 1},
        {"1.3.6.1.2.1.4.22.1.2.4294967295", "1.3.6.1.2.1.4.22.1.2.4294967294.7", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
        expectOrder(SnmpOid(row.a), SnmpOid(row.b), row.order);
    }
}

TEST(Values, OidOrderOfContents) {
    // Contents as agents may send them, shortest form or not.
    const struct {
        const char* a;
        const char* b;
        int order;
    } rows[] = {
        {"2B 80 01", "2B 01", 0},              // the same arc, one with a needless leading group
        {"2B 80 01 05", "2B 01 04", 1},
        {"2B 81 00", "2B 7F", 1},              // 128 follows 127
        {"2B 82 00", "2B 81 80 00", -1},       // 256 before 16384, though 82 > 81
        {"2B 81 05 06", "2B 81 80 01", -1},    // 133 before 16385: they differ inside the arc
        {"2B 06 81", "2B 06 01", 0},           // an unended last group reads as its own seven bits
        {"2B 06", "2B 06 01", -1},
        {"", "2B", -1},
        {"", "", 0},
        {"2C", "2B 06", 1},
        // 1.3.6.1.(2^32 + 9): refused, as the decoder refuses it, so no OID at all.
        {"2B 06 01 90 80 80 80 09", "2B 06 01 09", -1},
        {"2B 06 01 90 80 80 80 09", "", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
        const Bytes a = hexBytes(row.a), b = hexBytes(row.b);
        expectOrder(SnmpOid(a.data(), a.size()), SnmpOid(b.data(), b.size()), row.order);
    }
}

TEST(Values, IpAddressFromText) {
    const struct {
        const char* text;
        const char* content;
        bool exact;
    } rows[] = {
        {"192.168.1.1", "C0 A8 01 01", true},
        {"10.0.0.1", "0A 00 00 01", true},
        {"256.257.-1.0", "00 01 FF 00", true},  // low 8 bits of each
        {"10.1", "0A 01 00 00", false},          // missing bytes are 0
        {"1.2.3.4.5.6", "01 02 03 04", false},   // never more than four bytes
        {"", "00 00 00 00", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        SnmpIpAddress address("0.0.0.0");
        EXPECT_EQ(address.setFromText(row.text), row.exact);
        EXPECT_EQ(address.contentLength(), 4);
        EXPECT_EQ(hexText(address.bytes(), 4), row.content);
    }
}

TEST(Values, TextIsMadeOnceAndKept) {
    SnmpIpAddress address("10.0.0.1");
    const char* first = address.toString();
    EXPECT_EQ(address.toString(), first);
    EXPECT_STREQ(first, "10.0.0.1");
    SnmpInteger number(42);
    EXPECT_EQ(number.toString(), number.toString());
    SnmpOid oid("1.3.6");
    EXPECT_EQ(oid.toString(), oid.toString());
    // New content gives new text, also from the value's own text.
    number.setValue(7);
    EXPECT_STREQ(number.toString(), "7");
    oid.setFromText("1.3.6.1");
    EXPECT_STREQ(oid.toString(), "1.3.6.1");
    // 2^64 - 1 as X.690 writes a non-negative integer: nine bytes.
    auto counter = decodeOne(hexBytes("46 01 00"));
    EXPECT_STREQ(counter->toString(), "0");
    static_cast<SnmpCounter64&>(*counter).setValue(0xFFFFFFFFFFFFFFFFull);
    EXPECT_STREQ(counter->toString(), "18446744073709551615");
    EXPECT_EQ(hexText(encodeExactly(*counter)), "46 09 00 FF FF FF FF FF FF FF FF");
    address.setFromText(address.toString());
    EXPECT_STREQ(address.toString(), "10.0.0.1");
}

TEST(Values, OpaqueOfTwoHundredBytes) {
    Bytes element = {0x44, 0x81, 0xC8};
    for (int i = 0; i < 200; ++i) element.push_back(static_cast<std::uint8_t>(i));
    element.push_back(0x99);  // the next element's first byte
    BerReader reader(element.data(), element.size());
    reader.readByte();
    SnmpOpaque value(reader);
    EXPECT_EQ(reader.offset(), 203u);
    EXPECT_EQ(value.contentLength(), 200);
    const Bytes encoded = encodeExactly(value);
    EXPECT_EQ(encoded, Bytes(element.begin(), element.end() - 1));
}

TEST(Values, ContentRunningPastTheBytesFailsTheReader) {
    for (const char* bytes : {"04 05 61 62", "06 81", "40 84 FF FF FF FF 00", "44 80 00", "41 03 00 00"}) {
        SCOPED_TRACE(bytes);
        const Bytes b = hexBytes(bytes);
        BerReader reader(b.data(), b.size());
        reader.readByte();
        SnmpOctetString value(reader);
        EXPECT_TRUE(reader.failed());
        EXPECT_EQ(value.contentLength(), 0);
        EXPECT_STREQ(value.toString(), "");
    }
}

TEST(Values, ContentAtTheSixteenBitLimit) {
    // 65535 content bytes are a value; 65536 cannot be held and fail the reader.
    for (const auto& [header, n, whole] : {std::tuple{"82 FF FF", 65535u, true}, {"83 01 00 00", 65536u, false}}) {
        SCOPED_TRACE(n);
        Bytes b = hexBytes(header);
        b.resize(b.size() + n, 0x61);
        BerReader reader(b.data(), b.size());
        SnmpOctetString value(reader);
        EXPECT_EQ(reader.failed(), !whole);
        EXPECT_EQ(value.contentLength(), whole ? n : 0u);
    }
}

}  // namespace
