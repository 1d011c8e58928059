#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "snmp/decoder.h"
#include "tests/messages.h"
#include "tests/runner.h"
#include "walker/verdict.h"

namespace {

constexpr std::uint32_t kAgent = 0x7F000001;     // 127.0.0.1
constexpr std::uint32_t kStranger = 0x7F000002;  // 127.0.0.2

// The bytes with another PDU tag: the walk's replies are short enough for
// the tag to sit at byte 13, after the version and the community "public".
Bytes withPduTag(Bytes bytes, std::uint8_t tag) {
    bytes[13] = tag;
    return bytes;
}

TEST(Verdict, WhatADatagramMeans) {
    net::startup();
    {
        // Made only to say who the agent is: nothing is sent.
        const SnmpTransport transport(161, "127.0.0.1");
        SnmpOid asked("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1");
        const Bytes next = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", macValue("00 00 00 00 00 02"));
        const struct {
            const char* what;
            Received received;
            std::uint32_t sender;
            Bytes bytes;
            Verdict::Kind kind;
            WalkEnd end = WalkEnd::NoReply;
        } rows[] = {
            {"the next row", Received::Message, kAgent, next, Verdict::Answers},
            // Only a GetResponse answers, even with the request's id and the next row.
            {"a GetRequest naming the next row", Received::Message, kAgent, withPduTag(next, pdutags::kGetRequest),
             Verdict::SetAside, WalkEnd::NotAResponse},
            {"a Report naming the next row", Received::Message, kAgent, withPduTag(next, 0xA8), Verdict::SetAside,
             WalkEnd::NotAResponse},
            // Who sent it comes first, whatever it is.
            {"the next row from a stranger", Received::Message, kStranger, next, Verdict::Stranger},
            {"a reply too long for the buffer, from a stranger", Received::TooLong, kStranger, {}, Verdict::Stranger},
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.what);
            Datagram datagram;
            datagram.what = row.received;
            datagram.sender = row.sender;
            if (!row.bytes.empty()) {
                SnmpMessageDecoder decoder(row.bytes.data(), static_cast<std::int32_t>(row.bytes.size()));
                datagram.message.reset(decoder.release());
                ASSERT_NE(datagram.message, nullptr);
            }
            const Verdict verdict = consider(datagram, transport, asked);
            EXPECT_EQ(verdict.kind, row.kind);
            EXPECT_EQ(verdict.end, row.end);
        }
    }
    net::cleanup();
}

TEST(Verdict, TheLineWhenNoAnswerCame) {
    // An attempt whose send was refused, or which drew from the device
    // something set aside while others drew nothing, is no reason of its own:
    // the walk ends with the no-reply line alone.
    Exchange oneRefused;
    oneRefused.refusedSends = 1;
    Exchange heardBesideAStranger;
    heardBesideAStranger.setAside.kind = Verdict::SetAside;
    heardBesideAStranger.setAsideAttempts = 1;
    heardBesideAStranger.stranger = kStranger;
    for (const Exchange* result : {&oneRefused, &heardBesideAStranger}) {
        std::FILE* stream = std::tmpfile();
        WalkEnd end;
        {
            Output out(stream);
            end = noReply(*result, out);
        }
        EXPECT_EQ(end, WalkEnd::NoReply);
        EXPECT_EQ(readBack(stream), kNoReply);
    }
}

}  // namespace
