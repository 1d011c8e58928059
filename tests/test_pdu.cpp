#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "snmp/pdu.h"
#include "tests/hex.h"

namespace {


TEST(Pdu, GetNextRequestFields) {
    SnmpGetNextPdu pdu;
    pdu.setRequestId(123);
    EXPECT_EQ(pdu.contentLength(), 9u);
    EXPECT_EQ(hexText(encodeExactly(pdu)), "02 01 7B 02 01 00 02 01 00");
    EXPECT_EQ(pdu.pduType(), 0xA1);
}

TEST(Pdu, RequestIdFromTheClockAndErrorFields) {
    const auto before = static_cast<std::int32_t>(std::time(nullptr));
    SnmpGetPdu pdu;
    const auto after = static_cast<std::int32_t>(std::time(nullptr));
    EXPECT_GE(pdu.requestId(), before);
    EXPECT_LE(pdu.requestId(), after);
    EXPECT_EQ(pdu.errorStatus(), 0);
    EXPECT_EQ(pdu.errorIndex(), 0);
    pdu.setRequestId(5);
    pdu.setErrorStatus(2);
    pdu.setErrorIndex(1);
    EXPECT_EQ(hexText(encodeExactly(pdu)), "02 01 05 02 01 02 02 01 01");
    // Trap fields do not apply to a request.
    pdu.setGenericTrap(3);
    pdu.setSpecificTrap(4);
    pdu.setTimeStamp(5);
    pdu.setEnterprise("1.3.6");
    pdu.setAgentAddress("1.2.3.4");
    EXPECT_EQ(pdu.genericTrap(), 0);
    EXPECT_EQ(pdu.specificTrap(), 0);
    EXPECT_EQ(pdu.timeStamp(), 0);
    EXPECT_EQ(pdu.enterprise(), nullptr);
    EXPECT_EQ(pdu.agentAddress(), nullptr);
    EXPECT_EQ(hexText(encodeExactly(pdu)), "02 01 05 02 01 02 02 01 01");
    pdu.makeResponse();
    EXPECT_EQ(pdu.pduType(), 0xA2);
}

TEST(Pdu, EveryKindHasItsTag) {
    const struct {
        std::uint8_t type;
        bool made;
    } rows[] = {{0xA0, true}, {0xA1, true}, {0xA2, true}, {0xA3, true}, {0xA4, true},
                {0xA5, false}, {0xA6, true}, {0xA7, true}, {0xA8, false}, {0x30, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        std::unique_ptr<SnmpPduBase> pdu(makePdu(row.type));
        EXPECT_EQ(pdu != nullptr, row.made);
        if (pdu) {
            EXPECT_EQ(pdu->pduType(), row.type);
        }
    }
}

TEST(Pdu, TrapFields) {
    SnmpTrapPdu empty;
    EXPECT_EQ(empty.contentLength(), 0u);
    EXPECT_EQ(encodeExactly(empty).size(), 0u);
    EXPECT_EQ(empty.pduType(), 0xA4);
    EXPECT_EQ(empty.genericTrap(), 0);
    EXPECT_EQ(empty.enterprise(), nullptr);
    EXPECT_EQ(empty.agentAddress(), nullptr);

    SnmpTrapPdu trap;
    trap.setTimeStamp(100);
    trap.setSpecificTrap(1);
    trap.setAgentAddress("10.0.0.1");
    trap.setGenericTrap(6);
    trap.setEnterprise("1.3.6.1.4.1.9");
    trap.setRequestId(77);  // no such field on a trap
    EXPECT_EQ(trap.contentLength(), 23u);
    EXPECT_EQ(hexText(encodeExactly(trap)),
              "06 06 2B 06 01 04 01 09 40 04 0A 00 00 01 02 01 06 02 01 01 43 01 64");
    EXPECT_STREQ(trap.agentAddress(), "10.0.0.1");
    EXPECT_STREQ(trap.enterprise(), "1.3.6.1.4.1.9");
    EXPECT_EQ(trap.requestId(), 0);

    // Decoding the same fields into a fresh trap gives them back.
    const Bytes fields = encodeExactly(trap);
    SnmpTrapPdu decoded;
    BerReader reader(fields.data(), fields.size());
    decoded.decode(reader);
    EXPECT_FALSE(reader.failed());
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(encodeExactly(decoded), fields);
    EXPECT_EQ(decoded.timeStamp(), 100);
}

TEST(Pdu, NotificationAgentAddress) {
    SnmpInformPdu inform;
    SnmpV2TrapPdu trap;
    SnmpGetPdu get;
    const char* first = inform.agentAddress();
    EXPECT_STREQ(first, "255.255.255.255");
    trap.setAgentAddress("10.1.1.1");
    // The text is the PDU's own: no other call can overwrite it.
    EXPECT_STREQ(trap.agentAddress(), "255.255.255.255");
    EXPECT_STREQ(first, "255.255.255.255");
    EXPECT_EQ(get.agentAddress(), nullptr);
}

TEST(Pdu, DecodeTagByTag) {
    const struct {
        const char* bytes;
        std::int32_t requestId, errorStatus, errorIndex;
        std::size_t consumed;
        bool encodesBack;  // every field was read, so the PDU writes the same bytes again
    } rows[] = {
        {"02 01 05 02 01 00 02 01 00", 5, 0, 0, 9, true},
        {"02 01 05 02 01 02 02 01 03", 5, 2, 3, 9, true},
        {"02 01 FF 02 01 80 02 01 7F", -1, -128, 127, 9, true},  // one-byte contents are signed
        // Each field keeps the content length it arrived with, short or not.
        {"02 02 01 00 02 00 02 04 7F FF FF FF", 256, 0, 2147483647, 12, true},
        {"02 04 00 00 00 7B 02 01 00 02 03 FF FF FF", 123, 0, -1, 14, true},
        // A field with another tag keeps its default; only the tag is consumed
        // and the next step reads its tag from the following byte.
        {"02 01 05 04 02 01 07", 5, 0, 7, 7, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        const Bytes b = hexBytes(row.bytes);
        SnmpResponsePdu pdu;
        pdu.setErrorStatus(0);
        BerReader reader(b.data(), b.size());
        pdu.decode(reader);
        EXPECT_FALSE(reader.failed());
        EXPECT_EQ(pdu.requestId(), row.requestId);
        EXPECT_EQ(pdu.errorStatus(), row.errorStatus);
        EXPECT_EQ(pdu.errorIndex(), row.errorIndex);
        EXPECT_EQ(reader.offset(), row.consumed);
        if (!row.encodesBack) continue;
        ASSERT_EQ(pdu.contentLength(), b.size());
        Bytes out(b.size());
        std::uint8_t* cursor = out.data();
        pdu.encode(cursor);
        EXPECT_EQ(hexText(out), hexText(b));
    }
    // A field that the bytes lack keeps the PDU's default, which it writes
    // like any other.
    const Bytes lacking = hexBytes("02 01 05 04 02 01 07");
    SnmpResponsePdu fresh;
    BerReader reader(lacking.data(), lacking.size());
    fresh.decode(reader);
    Bytes out(fresh.contentLength());
    std::uint8_t* cursor = out.data();
    fresh.encode(cursor);
    EXPECT_EQ(hexText(out), "02 01 05 02 01 00 02 01 07");
}

TEST(Pdu, DecodeStopsAtTheEndOfTheBytes) {
    for (const char* bytes : {"02 01", "02 05 01 02", "02 01 05 02", "02 01 05 02 01"}) {
        SCOPED_TRACE(bytes);
        const Bytes b = hexBytes(bytes);
        BerReader reader(b.data(), b.size());
        SnmpResponsePdu pdu;
        pdu.decode(reader);
        EXPECT_TRUE(reader.failed());
        BerReader again(b.data(), b.size());
        SnmpTrapPdu trap;
        trap.decode(again);
        EXPECT_TRUE(again.failed());
    }
}

}  // namespace
