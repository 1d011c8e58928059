#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "snmp/decoder.h"
#include "snmp/message.h"
#include "tests/messages.h"

namespace {

const char kColumn[] = "1.3.6.1.2.1.4.22.1.2";

TEST(Message, TheWalkRequestByteForByte) {
    auto request = walkRequest();
    EXPECT_EQ(request->encodedLength(), 41);
    EXPECT_EQ(hexText(encodeExactly(*request)),
              "30 27 02 01 00 04 06 76 61 6E 74 72 79 A1 1A 02 01 7B 02 01 00 02 01 00 "
              "30 0F 30 0D 06 09 2B 06 01 02 01 04 16 01 02 05 00");
}

TEST(Message, CommunityLengthMovesTheOuterLength) {
    for (std::size_t k : {0u, 1u, 6u, 93u, 94u, 95u, 200u, 300u}) {
        SCOPED_TRACE(k);
        auto request = walkRequest();
        request->setCommunity(std::string(k, 'c').c_str());
        const Bytes bytes = encodeExactly(*request);
        const std::size_t content = 33 + k + (k >= 127 ? static_cast<std::size_t>(lengthFieldSize(static_cast<std::uint32_t>(k))) - 1 : 0);
        EXPECT_EQ(bytes.size(), 1 + static_cast<std::size_t>(lengthFieldSize(static_cast<std::uint32_t>(content))) + content);
        if (k <= 93) {
            EXPECT_EQ(bytes.size(), 35 + k);
        }
        if (k == 94) {
            EXPECT_EQ(bytes.size(), 130u);
            EXPECT_EQ(hexText(Bytes(bytes.begin(), bytes.begin() + 3)), "30 81 7F");
        }
        EXPECT_STREQ(request->community(), std::string(k, 'c').c_str());
    }
}

TEST(Message, SizeEqualsBytesWrittenForEveryKindAndBindingCount) {
    for (int type = 0xA0; type <= 0xA8; ++type) {
        for (int bindings : {0, 1, 2, 40}) {
            SCOPED_TRACE(std::to_string(type) + "/" + std::to_string(bindings));
            SnmpMessage message(type, 1);
            message.setEnterprise("1.3.6.1.4.1.9");
            message.setAgentAddress("10.0.0.1");
            message.setGenericTrap(6);
            message.setSpecificTrap(2);
            message.setTimeStamp(99);
            for (int i = 0; i < bindings; ++i) {
                message.addVarbind(new SnmpVarbind(new SnmpOid(("1.3.6.1.2.1.2.2.1.10." + std::to_string(i)).c_str()),
                                                   new SnmpOctetString(std::string(static_cast<std::size_t>(i * 3), 'v').c_str())));
            }
            const Bytes bytes = encodeExactly(message);
            ASSERT_EQ(bytes.size(), static_cast<std::size_t>(message.encodedLength()));
            if (message.pdu() == nullptr) continue;
            // What was written decodes to the same kind and bindings.
            const auto back = decoded(bytes);
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(back->pduType(), message.pduType());
            EXPECT_EQ(back->varbindCount(), bindings);
        }
    }
}

TEST(Message, WithoutAPduSizeAndBytesAgree) {
    for (int type : {0xA5, 0xB0, 0x1A1, -1}) {
        SCOPED_TRACE(type);
        SnmpMessage message(type, 0);
        message.addVarbind(new SnmpVarbind(new SnmpOid(kColumn), nullptr));
        EXPECT_EQ(message.pdu(), nullptr);
        EXPECT_EQ(message.pduType(), 0xFF);
        EXPECT_EQ(message.requestId(), 0);
        EXPECT_EQ(message.agentAddress(), nullptr);
        message.setRequestId(9);
        EXPECT_EQ(message.requestId(), 0);
        // Version and community only.
        EXPECT_EQ(hexText(encodeExactly(message)), "30 0B 02 01 00 04 06 76 61 6E 74 72 79");
    }
}

TEST(Message, DefaultMessage) {
    SnmpMessage message;
    EXPECT_EQ(message.varbindCount(), 0);
    EXPECT_STREQ(message.varbindName(1), "NULL");
    EXPECT_STREQ(message.community(), "vantry");
    EXPECT_EQ(message.pduType(), 0xFF);
    EXPECT_EQ(message.errorStatus(), 0);
    EXPECT_EQ(message.enterprise(), nullptr);
    try {
        message.version();
        FAIL() << "version() of a message without a version must throw";
    } catch (int payload) {
        EXPECT_EQ(payload, 0);
    }
}

TEST(Message, BindingsByIndex) {
    SnmpMessage message(0xA2, 0);
    message.addVarbind(new SnmpVarbind(new SnmpOid("1.3.1"), new SnmpInteger(-5)));
    message.addVarbind(new SnmpVarbind(new SnmpOid("1.3.2"), new SnmpOctetString("text")));
    message.addVarbind(new SnmpVarbind(new SnmpOid("1.3.3"), nullptr));  // no value
    message.addVarbind(new SnmpVarbind(nullptr, new SnmpTimeTicks(7)));   // no name
    EXPECT_EQ(message.varbindCount(), 4);
    const struct {
        int n;
        const char *name, *type, *value;
    } rows[] = {
        {0, "NULL", "NULL", "NULL"},     {-1, "NULL", "NULL", "NULL"},     {5, "NULL", "NULL", "NULL"},
        {1, "1.3.1", "Integer", "-5"},   {2, "1.3.2", "String", "text"},   {3, "1.3.3", "NULL", "NULL"},
        {4, "NULL", "TimeTick", "7"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.n);
        EXPECT_STREQ(message.varbindName(row.n), row.name);
        EXPECT_STREQ(message.varbindTypeName(row.n), row.type);
        EXPECT_STREQ(message.varbindValue(row.n), row.value);
    }
}

TEST(Message, SetCommunityReplaces) {
    auto request = walkRequest();
    // The community handed back is the message's own: its text is the message's.
    SnmpOctetString* given = request->setCommunity("public");
    EXPECT_EQ(given->toString(), request->community());
    const Bytes bytes = encodeExactly(*request);
    EXPECT_EQ(hexText(Bytes(bytes.begin() + 5, bytes.begin() + 13)), "04 06 70 75 62 6C 69 63");
    request->setCommunity(static_cast<SnmpOctetString*>(nullptr));
    EXPECT_EQ(request->community(), nullptr);
    EXPECT_EQ(encodeExactly(*request).size(), 33u);
}

TEST(Message, SettersKeepTheObjectsTheyAreGiven) {
    auto request = walkRequest();
    auto* community = new SnmpOctetString("given");
    auto* version = new SnmpInteger(1);
    request->setCommunity(community);
    request->setVersion(version);
    // The caller may go on reading them: they are the message's own parts now.
    EXPECT_STREQ(community->toString(), "given");
    EXPECT_EQ(request->community(), community->toString());
    version->setValue(-200);
    EXPECT_EQ(request->version(), -200);
    EXPECT_EQ(hexText(encodeExactly(*request)).substr(0, 26), "30 27 02 02 FF 38 04 05 67");
    // Handing over a part the message already has changes nothing.
    request->setCommunity(community);
    request->setVersion(version);
    EXPECT_STREQ(request->community(), "given");
    // Replaced parts are deleted (the sanitizer build reports a leak otherwise).
    request->setCommunity("public");
    request->setVersion(new SnmpInteger(0));
    EXPECT_EQ(hexText(encodeExactly(*request)), "30 27 02 01 00 04 06 70 75 62 6C 69 63 A1 1A 02 01 7B 02 01 00 02 "
                                                "01 00 30 0F 30 0D 06 09 2B 06 01 02 01 04 16 01 02 05 00");
    request->setVersion(nullptr);
    EXPECT_THROW(request->version(), int);
}

TEST(Message, ASetterGivenWhatTheMessageAlreadyHolds) {
    const auto trap = [] {
        auto message = std::make_unique<SnmpMessage>(0xA4, 0);
        message->setCommunity("public");
        message->setEnterprise("1.3.6.1.4.1.9");
        message->setAgentAddress("10.0.0.1");
        message->setGenericTrap(6);
        message->setSpecificTrap(1);
        message->setTimeStamp(100);
        return message;
    };
    const auto request = [] { return walkRequest(); };
    const struct {
        const char* what;
        std::function<std::unique_ptr<SnmpMessage>()> make;
        std::function<void(SnmpMessage&)> set;
        const char* removed;  // the bytes the call takes out of the encoding, if any
    } rows[] = {
        {"the default community's text", request, [](SnmpMessage& m) { m.setCommunity(m.community()); }, ""},
        {"a community's text", trap, [](SnmpMessage& m) { m.setCommunity(m.community()); }, ""},
        {"the agent address", trap, [](SnmpMessage& m) { m.setAgentAddress(m.agentAddress()); }, ""},
        {"the enterprise", trap, [](SnmpMessage& m) { m.setEnterprise(m.enterprise()); }, ""},
        {"the PDU", trap, [](SnmpMessage& m) { m.setPdu(m.pdu()); }, ""},
        {"no version", request, [](SnmpMessage& m) { m.setVersion(nullptr); }, "02 01 00 "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto message = row.make();
        std::string before = hexText(encodeExactly(*message));
        row.set(*message);
        const std::string removed = row.removed;
        if (!removed.empty()) before.erase(before.find(removed), removed.size());
        const std::string after = hexText(encodeExactly(*message));
        // The outer length shrinks with what was taken out.
        EXPECT_EQ(after.substr(5), before.substr(5));
        EXPECT_EQ(after.size(), before.size());
        if (!removed.empty()) {
            EXPECT_THROW(message->version(), int);
        }
    }
    // Null text is empty text.
    auto message = trap();
    message->setCommunity(static_cast<const char*>(nullptr));
    message->setEnterprise(nullptr);
    message->setAgentAddress(nullptr);
    EXPECT_EQ(hexText(encodeExactly(*message)),
              "30 1A 02 01 00 04 00 A4 13 06 00 40 04 00 00 00 00 02 01 06 02 01 01 43 01 64 30 00");
}

TEST(Message, NotificationBindingsForStandardTraps) {
    SnmpMessage message(0xA7, 1);
    message.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.2.1.2.2.1.1.3"), new SnmpInteger(3)));
    message.addNotificationBindings(1234, "1.3.6.1.4.1.9", 2, 0);
    ASSERT_EQ(message.varbindCount(), 3);
    EXPECT_STREQ(message.varbindName(1), "1.3.6.1.2.1.1.3.0");
    EXPECT_STREQ(message.varbindTypeName(1), "TimeTick");
    EXPECT_STREQ(message.varbindValue(1), "1234");
    EXPECT_STREQ(message.varbindName(2), "1.3.6.1.6.3.1.1.4.1.0");
    EXPECT_STREQ(message.varbindTypeName(2), "OID");
    EXPECT_STREQ(message.varbindValue(2), "1.3.6.1.6.3.1.1.5.3");
    EXPECT_STREQ(message.varbindName(3), "1.3.6.1.2.1.2.2.1.1.3");
    EXPECT_EQ(message.genericTrap(), 6);
    EXPECT_EQ(message.specificTrap(), 3);
    EXPECT_STREQ(message.enterprise(), "1.3.6.1.6.3.1.1.5.3");
    EXPECT_STREQ(message.agentAddress(), "255.255.255.255");
    for (int generic = 0; generic <= 5; ++generic) {
        SnmpMessage inform(0xA6, 1);
        inform.addNotificationBindings(0, nullptr, generic, 0);
        EXPECT_EQ(inform.varbindValue(2), "1.3.6.1.6.3.1.1.5." + std::to_string(generic + 1));
    }
}

TEST(Message, NotificationBindingsForEnterpriseTraps) {
    for (int generic : {6, 7, -1}) {
        SCOPED_TRACE(generic);
        SnmpMessage message(0xA7, 1);
        message.addNotificationBindings(1, "1.3.6.1.4.1.9", generic, 17);
        EXPECT_STREQ(message.varbindValue(2), "1.3.6.1.4.1.9.0.17");
        EXPECT_EQ(message.specificTrap(), 17);
        // Without an enterprise there is no trap OID: nothing changes.
        SnmpMessage bare(0xA7, 1);
        bare.addNotificationBindings(1, nullptr, generic, 17);
        EXPECT_EQ(bare.varbindCount(), 0);
    }
    // A negative specific-trap is taken modulo 2^32.
    SnmpMessage negative(0xA7, 1);
    negative.addNotificationBindings(1, "1.3.6.1.4.1.9", 6, -17);
    EXPECT_STREQ(negative.varbindValue(2), "1.3.6.1.4.1.9.0.4294967279");
    SnmpMessage twice(0xA6, 1);
    twice.addNotificationBindings(1, "1.3.6.1.4.1.9", 6, 1);
    twice.addNotificationBindings(2, "1.3.6.1.4.1.9", 6, 2);
    EXPECT_EQ(twice.varbindCount(), 4);
    EXPECT_STREQ(twice.varbindValue(2), "1.3.6.1.4.1.9.0.2");
}

TEST(Message, NotificationBindingsOnlyForNotificationsMadeAsSuch) {
    for (int type : {0xA4, 0xA1}) {
        SnmpMessage message(type, 0);
        message.addNotificationBindings(1, "1.3.6.1.4.1.9", 2, 0);
        EXPECT_EQ(message.varbindCount(), 0);
    }
    // A decoded SNMPv2-Trap keeps the PDU type member 0.
    SnmpMessage made(0xA7, 1);
    const Bytes bytes = encodeExactly(made);
    const auto back = decoded(bytes);
    ASSERT_NE(back, nullptr);
    back->addNotificationBindings(1, "1.3.6.1.4.1.9", 2, 0);
    EXPECT_EQ(back->varbindCount(), 0);
    EXPECT_EQ(back->pduType(), 0xA7);
    EXPECT_EQ(back->genericTrap(), 6);
}

TEST(Message, TrapFieldsOfAnSnmpV1Trap) {
    SnmpMessage message(0xA4, 0);
    message.setEnterprise("1.3.6.1.4.1.9");
    message.setAgentAddress("10.0.0.1");
    message.setGenericTrap(4);
    message.setSpecificTrap(9);
    message.setTimeStamp(555);
    message.setRequestId(1);
    EXPECT_EQ(message.genericTrap(), 4);
    EXPECT_EQ(message.specificTrap(), 9);
    EXPECT_EQ(message.timeStamp(), 555);
    EXPECT_STREQ(message.agentAddress(), "10.0.0.1");
    EXPECT_STREQ(message.enterprise(), "1.3.6.1.4.1.9");
    EXPECT_EQ(message.requestId(), 0);
}

TEST(Message, NotificationWithANonOidSecondBinding) {
    SnmpMessage message(0xA7, 1);
    message.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.2.1.1.3.0"), new SnmpTimeTicks(1)));
    message.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.6.3.1.1.4.1.0"), new SnmpInteger(42)));
    EXPECT_EQ(message.enterprise(), nullptr);
    EXPECT_EQ(message.specificTrap(), 0);
}

}  // namespace
