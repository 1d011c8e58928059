#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "snmp/decoder.h"
#include "tests/messages.h"

namespace {

// The GetResponse of one ARP entry: 10.0.0.1 on interface 1, MAC 00:11:22:33:44:55.
const char kResponse[] =
    "30 32 02 01 00 04 06 70 75 62 6C 69 63 A2 25 02 01 7B 02 01 00 02 01 00 30 1A 30 18 "
    "06 0E 2B 06 01 02 01 04 16 01 02 01 0A 00 00 01 04 06 00 11 22 33 44 55";

// Decodes from a buffer of exactly count bytes, so the sanitizer sees any over-read.
std::unique_ptr<SnmpMessage> decode(const Bytes& bytes, std::size_t count) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[count == 0 ? 1 : count]);
    for (std::size_t i = 0; i < count; ++i) exact[i] = i < bytes.size() ? bytes[i] : 0;
    SnmpMessageDecoder decoder(exact.get(), static_cast<std::int32_t>(count));
    return std::unique_ptr<SnmpMessage>(decoder.release());
}

std::unique_ptr<SnmpMessage> decode(const Bytes& bytes) { return decode(bytes, bytes.size()); }

TEST(Decoder, TheWorkedGetResponse) {
    const Bytes bytes = hexBytes(kResponse);
    ASSERT_EQ(bytes.size(), 52u);
    auto message = decode(bytes);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->version(), 0);
    EXPECT_STREQ(message->community(), "public");
    EXPECT_EQ(message->pduType(), 0xA2);
    EXPECT_NE(dynamic_cast<SnmpResponsePdu*>(message->pdu()), nullptr);
    EXPECT_EQ(message->requestId(), 123);
    EXPECT_EQ(message->errorStatus(), 0);
    EXPECT_EQ(message->errorIndex(), 0);
    ASSERT_EQ(message->varbindCount(), 1);
    EXPECT_STREQ(message->varbindName(1), "1.3.6.1.2.1.4.22.1.2.1.10.0.0.1");
    EXPECT_STREQ(message->varbindTypeName(1), "String");
    EXPECT_STREQ(message->varbindValue(1), "001122334455");
    // Encoding it again gives the datagram back.
    EXPECT_EQ(encodeExactly(*message), bytes);
}

TEST(Decoder, CountAgainstTheOuterLength) {
    const Bytes bytes = hexBytes(kResponse);
    EXPECT_EQ(decode(bytes, 40), nullptr);
    auto longer = decode(bytes, 60);  // a longer buffer: the last 8 bytes are not read
    ASSERT_NE(longer, nullptr);
    EXPECT_STREQ(longer->varbindName(1), "1.3.6.1.2.1.4.22.1.2.1.10.0.0.1");
    EXPECT_EQ(decode(bytes, 0), nullptr);
    // Everything inside whole, the outer length claiming more than arrived: it
    // is compared with the whole count, header included, as agents expect.
    for (const auto& [claim, decodes] : {std::pair{0x33, true}, {0x34, true}, {0x35, false}, {0x7F, false}}) {
        SCOPED_TRACE(claim);
        Bytes claiming = bytes;
        claiming[1] = static_cast<std::uint8_t>(claim);
        EXPECT_EQ(decode(claiming, static_cast<std::int32_t>(claiming.size())) != nullptr, decodes);
    }
    SnmpMessageDecoder none(nullptr, 5);
    EXPECT_EQ(none.release(), nullptr);
}

TEST(Decoder, EveryPrefixOfTheResponseYieldsNoMessage) {
    const Bytes bytes = hexBytes(kResponse);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(decode(bytes, n), nullptr);
    }
}

TEST(Decoder, BindingLists) {
    const Bytes one = hexBytes("30 08 06 03 2B 06 01 02 01 05");
    const Bytes two = hexBytes("30 08 06 03 2B 06 02 04 01 41");
    const Bytes three = hexBytes("30 07 06 03 2B 06 03 05 00");
    auto message = decode(response(one + two + three));
    ASSERT_NE(message, nullptr);
    ASSERT_EQ(message->varbindCount(), 3);
    EXPECT_STREQ(message->varbindName(1), "1.3.6.1");
    EXPECT_STREQ(message->varbindName(2), "1.3.6.2");
    EXPECT_STREQ(message->varbindValue(2), "A");
    EXPECT_STREQ(message->varbindName(3), "1.3.6.3");

    // A list that ends after a name: the incomplete binding is dropped.
    auto dropped = decode(response(one + hexBytes("30 05 06 03 2B 06 09")));
    ASSERT_NE(dropped, nullptr);
    EXPECT_EQ(dropped->varbindCount(), 1);

    auto empty = decode(response(Bytes()));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->varbindCount(), 0);
    EXPECT_STREQ(empty->varbindName(1), "NULL");
}

TEST(Decoder, LenientPlaces) {
    // Another outer tag decodes as 0x30 would.
    Bytes bytes = hexBytes(kResponse);
    bytes[0] = 0x31;
    auto outer = decode(bytes);
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(outer->requestId(), 123);

    // A version element with another tag: no version, the rest still read.
    bytes = hexBytes(kResponse);
    bytes[2] = 0x04;
    auto noVersion = decode(bytes);
    ASSERT_NE(noVersion, nullptr);
    EXPECT_THROW(noVersion->version(), int);

    // An empty community.
    const Bytes emptyCommunity = hexBytes("30 2C 02 01 00 04 00 A2 25 02 01 7B 02 01 00 02 01 00 30 1A 30 18 "
                                          "06 0E 2B 06 01 02 01 04 16 01 02 01 0A 00 00 01 04 06 00 11 22 33 44 55");
    auto community = decode(emptyCommunity);
    ASSERT_NE(community, nullptr);
    EXPECT_STREQ(community->community(), "");
    EXPECT_EQ(community->varbindCount(), 1);

    // No community element: the message keeps the default community.
    bytes = hexBytes(kResponse);
    bytes[5] = 0x05;
    auto noCommunity = decode(bytes);
    ASSERT_NE(noCommunity, nullptr);
    EXPECT_STREQ(noCommunity->community(), "vantry");
}

TEST(Decoder, PduTagsOutsideTheTable) {
    for (std::uint8_t tag : {0xA5, 0xA8, 0x30}) {
        SCOPED_TRACE(tag);
        Bytes bytes = hexBytes(kResponse);
        bytes[13] = tag;
        auto message = decode(bytes);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->pdu(), nullptr);
        EXPECT_EQ(message->pduType(), 0xFF);
        EXPECT_EQ(message->requestId(), 0);
        EXPECT_EQ(message->varbindCount(), 0);
        EXPECT_STREQ(message->community(), "public");
    }
}

TEST(Decoder, DecodedNotificationsAndTraps) {
    for (std::uint8_t tag : {0xA0, 0xA1, 0xA3, 0xA6, 0xA7}) {
        Bytes bytes = hexBytes(kResponse);
        bytes[13] = tag;
        auto message = decode(bytes);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->pduType(), tag);
        EXPECT_EQ(message->requestId(), 123);
    }
    SnmpMessage trap(0xA4, 0);
    trap.setEnterprise("1.3.6.1.4.1.9");
    trap.setAgentAddress("10.0.0.1");
    trap.setGenericTrap(6);
    trap.setSpecificTrap(1);
    trap.setTimeStamp(100);
    trap.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.4.1.9.1"), new SnmpInteger(1)));
    auto decoded = decode(encodeExactly(trap));
    ASSERT_NE(decoded, nullptr);
    EXPECT_STREQ(decoded->enterprise(), "1.3.6.1.4.1.9");
    EXPECT_STREQ(decoded->agentAddress(), "10.0.0.1");
    EXPECT_EQ(decoded->specificTrap(), 1);
    EXPECT_EQ(decoded->timeStamp(), 100);
    EXPECT_EQ(decoded->varbindCount(), 1);
}

// Damaged datagrams: each yields the documented result or no message, never a
// crash, a hang or a read past the end.
TEST(Decoder, BadInput) {
    // A GetResponse with these request-id, error-status and error-index, and no binding.
    const auto pdu = [](const char* fields) {
        return element(0x30, hexBytes("02 01 00 04 00") + element(0xA2, hexBytes(fields) + hexBytes("30 00")));
    };
    std::string oid200 = "06 81 C8 2B";
    for (int i = 0; i < 199; ++i) oid200 += " 01";
    const struct {
        const char* what;
        Bytes bytes;
        bool message;
    } rows[] = {
        {"indefinite outer length", hexBytes("30 80 02 01 00 04 00 A2 00"), false},
        {"five length octets", hexBytes("30 85 00 00 00 00 09 02 01 00"), false},
        {"length with 15 octets", hexBytes("30 8F 01 02"), false},
        {"length 0xFF first byte", hexBytes("30 FF"), false},
        {"outer length 2^31 and more", hexBytes("30 84 80 00 00 00 02 01 00"), false},
        {"outer length 0xFFFFFFFF", hexBytes("30 84 FF FF FF FF 02 01 00"), false},
        {"version length far beyond", hexBytes("30 08 02 84 7F FF FF FF 00 00"), false},
        {"community length far beyond", hexBytes("30 08 02 01 00 04 82 FF FF 00"), false},
        {"PDU length indefinite", hexBytes("30 09 02 01 00 04 00 A2 80 00 00"), false},
        {"PDU field beyond", hexBytes("30 0A 02 01 00 04 00 A2 05 02 83 01 00 00"), false},
        {"integer of 9 bytes as request-id",
         hexBytes("30 1A 02 01 00 04 00 A2 13 02 09 00 00 00 00 00 00 00 00 7B 02 01 00 02 01 00 30 00"), true},
        {"integer of 0 bytes", hexBytes("30 10 02 00 04 00 A2 0A 02 00 02 01 00 02 01 00 30 00"), true},
        {"high tag for the version", hexBytes("30 12 9F 81 02 04 00 A2 0B 02 01 00 02 01 00 02 01 00 30 00"), true},
        // A request-id, error-status or error-index outside the signed 32-bit
        // range, in however many bytes; a longer form of a value inside it is read.
        {"request-id 2^32 + 123", pdu("02 05 01 00 00 00 7B 02 01 00 02 01 00"), false},
        {"request-id 2^31", pdu("02 05 00 80 00 00 00 02 01 00 02 01 00"), false},
        {"request-id 2^32 - 1", pdu("02 05 00 FF FF FF FF 02 01 00 02 01 00"), false},
        {"request-id -2^31 in five bytes", pdu("02 05 FF 80 00 00 00 02 01 00 02 01 00"), true},
        {"request-id 123 in five bytes", pdu("02 05 00 00 00 00 7B 02 01 00 02 01 00"), true},
        {"error-status 2^32 + 2", pdu("02 01 7B 02 05 01 00 00 00 02 02 01 00"), false},
        {"error-index -2^31 - 1", pdu("02 01 7B 02 01 00 02 05 FF 7F FF FF FF"), false},
        {"sub-identifier beyond 2^32 in a name",
         response(hexBytes("30 0B 06 07 2B 90 80 80 80 80 01 05 00")), false},
        {"OID whose last byte has the top bit set",
         response(hexBytes("30 07 06 03 2B 06 81 05 00")), true},
        {"OID of 200 sub-identifiers", response(hexBytes("30 81 CD " + oid200 + " 05 00")), true},
        {"name that is not an OID", response(hexBytes("30 06 04 02 61 62 05 00")), false},
        {"binding value beyond the list", response(hexBytes("30 06 06 01 2B 04 09 61")), false},
        {"binding of 9F tag at the end", response(hexBytes("30 05 06 01 2B 9F 78")), false},
        {"empty binding sequence", response(hexBytes("30 00")), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto message = decode(row.bytes);
        EXPECT_EQ(message != nullptr, row.message);
    }
}

TEST(Decoder, ListLengthRunningPastTheDatagram) {
    Bytes bytes = hexBytes(kResponse);
    bytes[25] = 0x40;  // the list claims more than arrived
    EXPECT_EQ(decode(bytes), nullptr);
    bytes[25] = 0x84;  // and a length field that is cut short
    EXPECT_EQ(decode(bytes), nullptr);
}

TEST(Decoder, LongCommunitiesAndAFullDatagram) {
    for (std::size_t n : {0u, 4000u}) {
        SCOPED_TRACE(n);
        SnmpMessage message(0xA2, 0);
        message.setCommunity(std::string(n, 'k').c_str());
        message.setRequestId(123);
        auto decoded = decode(encodeExactly(message));
        ASSERT_NE(decoded, nullptr);
        EXPECT_EQ(std::string(decoded->community()), std::string(n, 'k'));
    }
    // Exactly 4096 bytes: one binding with a long string value.
    SnmpMessage message(0xA2, 0);
    message.setRequestId(123);
    std::size_t valueLength = 4096 - 60;
    for (;;) {
        SnmpMessage probe(0xA2, 0);
        probe.setRequestId(123);
        probe.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1"), new SnmpOctetString(std::string(valueLength, 'v').c_str())));
        const auto size = static_cast<std::size_t>(probe.encodedLength());
        if (size == 4096) break;
        valueLength += 4096 - size;
    }
    message.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1"), new SnmpOctetString(std::string(valueLength, 'v').c_str())));
    ASSERT_EQ(message.encodedLength(), 4096);
    Bytes bytes(4096);
    std::uint8_t* cursor = bytes.data();
    message.encode(cursor);
    auto decoded = decode(bytes);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(std::string(decoded->varbindValue(1)).size(), valueLength);
}

TEST(Decoder, UnreleasedMessageIsDeletedWithTheDecoder) {
    // Under the sanitizer a leak here fails the run.
    const Bytes bytes = hexBytes(kResponse);
    SnmpMessageDecoder decoder(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

}  // namespace
