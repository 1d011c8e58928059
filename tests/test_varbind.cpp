#include <gtest/gtest.h>

#include <string>

#include "snmp/varbind.h"
#include "tests/hex.h"

namespace {

// Counts destructions of the values it stands for.
int liveValues = 0;
class CountedInteger : public SnmpValue {
public:
    CountedInteger() : SnmpValue(0x02, "Integer") {
        ++liveValues;
        contentLength_ = 1;
    }
    ~CountedInteger() override { --liveValues; }
    void encode(std::uint8_t*& cursor) override {
        *cursor++ = 0x02;
        *cursor++ = 0x01;
        *cursor++ = 0x07;
    }

protected:
    void makeText(std::string& out) override { out = "7"; }
};

const char kColumn[] = "1.3.6.1.2.1.4.22.1.2";

TEST(Varbind, RequestBindingAndItsList) {
    auto* binding = new SnmpVarbind(new SnmpOid(kColumn), nullptr);
    EXPECT_EQ(binding->encodedLength(), 15);
    EXPECT_EQ(hexText(encodeExactly(*binding, 15)), "30 0D 06 09 2B 06 01 02 01 04 16 01 02 05 00");
    SnmpVarbindList list;
    EXPECT_EQ(list.encodedLength(), 2);
    EXPECT_EQ(hexText(encodeExactly(list, 2)), "30 00");
    EXPECT_EQ(list.append(binding), binding);
    EXPECT_EQ(list.encodedLength(), 17);
    EXPECT_EQ(hexText(encodeExactly(list, 17)), "30 0F 30 0D 06 09 2B 06 01 02 01 04 16 01 02 05 00");
}

TEST(Varbind, EmptyBinding) {
    SnmpVarbind binding;
    EXPECT_EQ(binding.encodedLength(), 4);
    EXPECT_EQ(hexText(encodeExactly(binding, 4)), "30 02 05 00");
}

TEST(Varbind, SizesAcrossLengthBoundaries) {
    // A binding whose content is c bytes: an OID name of 3 bytes (06 01 2B) and
    // a string value filling the rest.
    for (std::uint32_t content : {5u, 100u, 126u, 127u, 128u, 200u, 255u, 256u, 257u, 1000u, 60000u}) {
        SCOPED_TRACE(content);
        const std::uint32_t valueSize = content - 3;
        std::uint32_t n = 0;
        while (elementSize(n) < valueSize) ++n;
        ASSERT_EQ(elementSize(n), valueSize);
        auto* binding = new SnmpVarbind(new SnmpOid("1.3"), new SnmpOctetString(std::string(n, 'z').c_str()));
        const auto expected = static_cast<std::int32_t>(elementSize(content));
        EXPECT_EQ(binding->encodedLength(), expected);
        EXPECT_EQ(encodeExactly(*binding, static_cast<std::size_t>(expected)).size(), static_cast<std::size_t>(expected));
        SnmpVarbindList list;
        list.append(binding);
        const auto listExpected = static_cast<std::int32_t>(elementSize(static_cast<std::uint32_t>(expected)));
        EXPECT_EQ(list.encodedLength(), listExpected);
        EXPECT_EQ(encodeExactly(list, static_cast<std::size_t>(listExpected)).size(), static_cast<std::size_t>(listExpected));
        if (content == 126) {
            EXPECT_EQ(expected, 128);
        }
        if (content == 127) {
            EXPECT_EQ(expected, 130);
        }
        if (content == 256) {
            EXPECT_EQ(expected, 260);
        }
    }
}

TEST(Varbind, ListContentAtTheBoundaries) {
    // Lists of empty bindings (4 bytes each) plus one binding to reach the size.
    for (std::uint32_t content : {124u, 126u, 127u, 128u, 256u, 4000u}) {
        SCOPED_TRACE(content);
        SnmpVarbindList list;
        std::uint32_t left = content;
        while (left >= 8 || left == 4) {
            list.append(new SnmpVarbind());
            left -= 4;
        }
        if (left != 0) {
            // A binding with an Opaque-free string value of the remaining size.
            ASSERT_GE(left, 5u);
            list.append(new SnmpVarbind(nullptr, new SnmpOctetString(std::string(left - 4, 'q').c_str())));
        }
        const auto expected = elementSize(content);
        EXPECT_EQ(static_cast<std::uint32_t>(list.encodedLength()), expected);
        const Bytes encoded = encodeExactly(list, expected);
        EXPECT_EQ(encoded.size(), expected);
        if (content == 126) {
            EXPECT_EQ(encoded[1], 0x7E);
        }
        if (content == 127) {
            EXPECT_EQ(hexText(Bytes(encoded.begin(), encoded.begin() + 3)), "30 81 7F");
        }
        if (content == 256) {
            EXPECT_EQ(hexText(Bytes(encoded.begin(), encoded.begin() + 4)), "30 82 01 00");
        }
    }
}

TEST(Varbind, AppendAndReplaceHead) {
    SnmpVarbindList list;
    // The list's names in order and its encoded length: each binding takes 8
    // bytes, the list's header 2. A loop shows as "loop".
    const auto state = [&list] {
        std::string order;
        int n = 0;
        for (SnmpVarbind* v = list.head(); v != nullptr; v = v->next) {
            if (++n > 5) return std::string("loop");
            order += v->name()->toString() + std::string(" ");
        }
        return order + std::to_string(list.encodedLength());
    };
    EXPECT_EQ(list.replaceHead(nullptr), nullptr);
    EXPECT_EQ(state(), "2");
    auto* a = new SnmpVarbind(new SnmpOid("1.3.1"), nullptr);
    auto* b = new SnmpVarbind(new SnmpOid("1.3.2"), nullptr);
    auto* c = new SnmpVarbind(new SnmpOid("1.3.3"), nullptr);
    EXPECT_EQ(list.append(a), a);
    EXPECT_EQ(list.append(b), nullptr);
    EXPECT_EQ(list.append(nullptr), nullptr);
    EXPECT_EQ(state(), "1.3.1 1.3.2 18");
    // Put c in front, as the notification bindings do.
    SnmpVarbind* former = list.replaceHead(c);
    EXPECT_EQ(former, a);
    EXPECT_EQ(state(), "1.3.3 10");
    list.append(former);
    EXPECT_EQ(state(), "1.3.3 1.3.1 1.3.2 26");
    // A binding the list holds, appended again or made the head, would be the
    // list's and the caller's at once (and close a loop): refused.
    EXPECT_EQ(list.append(a), nullptr);
    EXPECT_EQ(list.replaceHead(b), nullptr);
    EXPECT_EQ(list.replaceHead(c), nullptr);
    EXPECT_EQ(state(), "1.3.3 1.3.1 1.3.2 26");
}

TEST(Varbind, SetNameDeletesNothingAndOwnershipOnDestruction) {
    auto* old = new SnmpOid("1.3.6");
    {
        SnmpVarbind binding(old, nullptr);
        auto* replacement = new SnmpOid("1.3");
        binding.setName(replacement);
        // The old name is still alive and usable.
        EXPECT_STREQ(old->toString(), "1.3.6");
        EXPECT_EQ(hexText(encodeExactly(binding)),
                  "30 05 06 01 2B 05 00");
        auto* value = new CountedInteger();
        binding.setValue(value);
        EXPECT_EQ(liveValues, 1);
        EXPECT_EQ(hexText(encodeExactly(binding)),
                  "30 06 06 01 2B 02 01 07");
    }
    EXPECT_EQ(liveValues, 0);
    delete old;
    {
        SnmpVarbindList list;
        for (int i = 0; i < 3; ++i) list.append(new SnmpVarbind(new SnmpOid("1.3"), new CountedInteger()));
        EXPECT_EQ(liveValues, 3);
    }
    EXPECT_EQ(liveValues, 0);
}

}  // namespace
