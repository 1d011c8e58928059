#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/messages.h"
#include "tests/runner.h"
#include "walker/verdict.h"

namespace {

constexpr std::uint32_t kAgent = 0x7F000001;     // 127.0.0.1
constexpr std::uint32_t kStranger = 0x7F000002;  // 127.0.0.2

const char kColumn[] = "1.3.6.1.2.1.4.22.1.2";
const std::string kAsked = std::string(kColumn) + ".1.10.0.0.1";

// The bytes with another PDU tag: the walk's replies are short enough for
// the tag to sit at byte 13, after the version and the community "public".
Bytes withPduTag(Bytes bytes, std::uint8_t tag) {
    bytes[13] = tag;
    return bytes;
}

// The ending of a request whose every attempt drew only this datagram set aside.
Ending onlySetAside(const Aside& aside) {
    Ending ending(WalkEnd::SetAside);
    ending.rejected.kinds = {aside.kind};
    ending.rejected.latest = aside;
    return ending;
}

// What an ending prints on the output, and on standard error.
std::string printed(const Ending& ending, std::string* errors = nullptr) {
    std::FILE* stream = std::tmpfile();
    std::FILE* errorStream = std::tmpfile();
    {
        Output out(stream);
        printEnding(ending, out, errorStream);
    }
    const std::string onError = readBack(errorStream);
    if (errors != nullptr) *errors = onError;
    return readBack(stream);
}

TEST(Verdict, WhatADatagramMeans) {
    net::startup();
    {
        // Made only to say who the agent is: nothing is sent.
        const SnmpTransport transport(161, "127.0.0.1");
        SnmpOid asked(kAsked.c_str());
        const Bytes next = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", macValue("00 00 00 00 00 02"));
        const std::string keeps = "ERROR: Asked for the OID after " + kAsked + ", the device keeps answering with ";
        const struct {
            const char* what;
            Bytes bytes;  // decoded as the transport does: Unreadable when they do not decode
            Verdict::Kind kind;
            std::string line = "";  // the ending's line when every attempt draws only such
            Received received = Received::Message;
            std::uint32_t sender = kAgent;
        } rows[] = {
            {"the next row", next, Verdict::Answers},
            // An error reply names the OID that its request asked for.
            {"tooBig for the OID asked", makeResponse(kAsked.c_str(), nullptr, 123, 1), Verdict::Answers},
            {"noSuchName for the OID asked", makeResponse(kAsked.c_str(), nullptr, 123, 2), Verdict::Answers},
            // Only a GetResponse answers, even with the request's id and the next row.
            {"a GetRequest naming the next row", withPduTag(next, pdutags::kGetRequest), Verdict::SetAside,
             "ERROR: The device answered with a GetRequest, not a GetResponse\n"},
            {"a Report naming the next row", withPduTag(next, 0xA8), Verdict::SetAside,
             "ERROR: The device answered with a PDU the tool does not know, not a GetResponse\n"},
            {"a Trap", makeTrap(), Verdict::SetAside, "ERROR: The device answered with a Trap, not a GetResponse\n"},
            {"another request-id", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", macValue("00 01 02 03 04 05"), 124),
             Verdict::SetAside, "ERROR P1: Request ID does not match\n"},
            {"no binding", makeResponse(nullptr, nullptr), Verdict::SetAside,
             "ERROR: The reply holds no variable binding\n"},
            {"noSuchName without a binding", makeResponse(nullptr, nullptr, 123, 2), Verdict::SetAside,
             "ERROR: The reply holds no variable binding\n"},
            // An SNMPv2 exception answers when it names the OID asked (as
            // endOfMibView does) or a later one; for an earlier OID it is a
            // late copy, like any other reply.
            {"endOfMibView for the OID asked",
             makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 01"), hexBytes("82 00")), Verdict::Answers},
            {"noSuchInstance for the next row", makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 02"),
                                                             hexBytes("81 00")), Verdict::Answers},
            {"noSuchObject for the column", makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02"), hexBytes("80 00")),
             Verdict::SetAside, keeps + kColumn + "; the walk cannot go on.\n"},
            // A late copy of the answer to the OID asked, or of an earlier one.
            {"the OID asked, again", makeResponse(kAsked.c_str(), macValue("00 01 02 03 04 05")), Verdict::SetAside,
             keeps + kAsked + "; the walk cannot go on.\n"},
            {"the column without index", makeResponse(kColumn, macValue("00 01 02 03 04 05")), Verdict::SetAside,
             keeps + kColumn + "; the walk cannot go on.\n"},
            {"noSuchName for an earlier OID", makeResponse(kColumn, nullptr, 123, 2), Verdict::SetAside,
             keeps + kColumn + "; the walk cannot go on.\n"},
            {"genErr for an earlier OID", makeResponse(kColumn, nullptr, 123, 5), Verdict::SetAside,
             keeps + kColumn + "; the walk cannot go on.\n"},
            {"six junk bytes", hexBytes("30 00 00 00 00 00"), Verdict::SetAside,
             "ERROR: The device's replies could not be read\n"},
            // 1.3.6.1.2.1.4.22.1.2.1.10.0.0.4294967305, which modulo 2^32 would be 10.0.0.9.
            {"an index number past 32 bits",
             makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 90 80 80 80 09"), hexBytes("04 01 00")),
             Verdict::SetAside, "ERROR: The device's replies could not be read\n"},
            {"a reply too long for the buffer", {}, Verdict::SetAside,
             "ERROR: The device's replies are longer than the 4096 bytes that can be received\n", Received::TooLong},
            // Who sent it comes first, whatever it is.
            {"the next row from a stranger", next, Verdict::Stranger, "", Received::Message, kStranger},
            {"a reply too long for the buffer, from a stranger", {}, Verdict::Stranger, "", Received::TooLong,
             kStranger},
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.what);
            Datagram datagram;
            datagram.what = row.received;
            datagram.sender = row.sender;
            if (row.received == Received::Message) datagram.message = decoded(row.bytes);
            if (row.received == Received::Message && datagram.message == nullptr) datagram.what = Received::Unreadable;
            const Verdict verdict = consider(datagram, transport, asked, false);
            EXPECT_EQ(verdict.kind, row.kind);
            EXPECT_EQ(verdict.kind == Verdict::SetAside ? printed(onlySetAside(verdict.aside)) : "", row.line);
        }
    }
    net::cleanup();
}

TEST(Verdict, WhatAReportMeans) {
    constexpr std::uint32_t kRouter = 0x0A010201;  // 10.1.2.1
    const net::Report port{net::Report::PortUnreachable, kAgent, kAgent, 161, 3, 3};
    const std::string nobody = "ERROR: 127.0.0.1 reports that nothing listens on UDP port 161 there, or a firewall "
                               "rejects it (ICMP port unreachable)\n";
    const struct {
        const char* what;
        net::Report report;
        bool answered = false;  // whether a datagram has answered a request of the walk
        bool broadcast = false;
        bool endsAttempt = false;
        std::string line = "";  // before the no-reply line, when the request drew it first
    } rows[] = {
        // Before any answer (datagrams set aside are none), the device's own
        // port unreachable, or one without a sender, says that nothing listens.
        {"port unreachable from the device", port, false, false, true, nobody},
        {"port unreachable without a sender", {net::Report::PortUnreachable, 0, kAgent, 161}, false, false, true,
         "ERROR: The network reports that nothing listens on UDP port 161 at 127.0.0.1, or a firewall rejects it "
         "(ICMP port unreachable)\n"},
        // Once one has answered, an agent that restarts is ridden out.
        {"port unreachable after an answer", port, true},
        {"port unreachable about a broadcast", port, false, true},
        {"port unreachable from a router", {net::Report::PortUnreachable, kRouter, kAgent, 161}, false, false, false,
         "ERROR: 10.1.2.1 reports that nothing listens on UDP port 161 at 127.0.0.1, or a firewall rejects it "
         "(ICMP port unreachable)\n"},
        // No other report shortens a wait.
        {"host unreachable", {net::Report::HostUnreachable, kRouter, kAgent, 161, 3, 1}, false, false, false,
         "ERROR: 10.1.2.1 reports that 127.0.0.1 cannot be reached (ICMP host unreachable)\n"},
        {"network unreachable", {net::Report::NetworkUnreachable, kAgent, kAgent, 161, 3, 0}, false, false, false,
         "ERROR: 127.0.0.1 reports that 127.0.0.1 cannot be reached (ICMP network unreachable)\n"},
        {"prohibited", {net::Report::Prohibited, kRouter, kAgent, 161, 3, 13}, false, false, false,
         "ERROR: 10.1.2.1 reports that 127.0.0.1 cannot be reached (ICMP administratively prohibited)\n"},
        {"time exceeded without a sender", {net::Report::TimeExceeded, 0, kAgent, 161, 11, 0}, false, false, false,
         "ERROR: The network reports that 127.0.0.1 cannot be reached (ICMP time exceeded)\n"},
        {"another ICMP error", {net::Report::Other, kAgent, kAgent, 161, 3, 4}, false, false, false,
         "ERROR: 127.0.0.1 reports that 127.0.0.1 cannot be reached (ICMP type 3, code 4)\n"},
    };
    net::startup();
    {
        // Made only to say who the agent is: nothing is sent.
        const SnmpTransport unicast(161, "127.0.0.1");
        const SnmpTransport broadcast(161, "255.255.255.255");
        SnmpOid asked(kAsked.c_str());
        for (const auto& row : rows) {
            SCOPED_TRACE(row.what);
            Datagram datagram;
            datagram.what = Received::Report;
            datagram.report = row.report;
            const Verdict verdict = consider(datagram, row.broadcast ? broadcast : unicast, asked, row.answered);
            EXPECT_EQ(verdict.kind, row.endsAttempt ? Verdict::NothingListens : Verdict::Reported);
            if (row.line.empty()) continue;
            // Never a datagram set aside: the request ends in silence, named.
            Tally tally;
            tally.attempt(false);
            tally.report(row.report);
            tally.report(net::Report{net::Report::TimeExceeded});  // only the first is named
            const Ending end = tally.ending();
            EXPECT_EQ(exitStatus(end), 2);
            EXPECT_EQ(printed(end), row.line + kNoReply);
        }
    }
    net::cleanup();
}

TEST(Verdict, WhatAnAnswerMeans) {
    const Bytes next = hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 02");  // the next row's name
    const std::string view = "\n\nNo OID follows in the device's view\n\n";
    const char* const mac = "00 01 02 03 04 05";
    const struct {
        const char* what;
        Bytes reply;
        bool row;  // a row to print, or how the walk ends
        WalkEnd end = WalkEnd::EndOfColumn;
        std::string progress = "";  // with -d, after "received...RequestID matches..."
    } rows[] = {
        {"a row", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue(mac)), true},
        {"a NULL value", makeResponse(next, hexBytes("05 00")), true},
        {"genErr", makeResponse(kAsked.c_str(), macValue(mac), 123, 5, 1), false, WalkEnd::ErrorStatus,
         "error-status genErr (5), error-index 1\n"},
        {"tooBig", makeResponse(kColumn, nullptr, 123, 1), false, WalkEnd::ErrorStatus,
         "error-status tooBig (1), error-index 0\n"},
        {"inconsistentName", makeResponse(kColumn, nullptr, 123, 18, 2), false, WalkEnd::ErrorStatus,
         "error-status inconsistentName (18), error-index 2\n"},
        {"a status without a name", makeResponse(kColumn, nullptr, 123, 19, 1), false, WalkEnd::ErrorStatus,
         "error-status 19, error-index 1\n"},
        {"noSuchName: the end of the agent's view", makeResponse(kColumn, nullptr, 123, 2), false, WalkEnd::EndOfColumn,
         "noSuchName" + view},
        // An SNMPv2 exception in place of the value ends the column too.
        {"endOfMibView", makeResponse(next, hexBytes("82 00")), false, WalkEnd::EndOfColumn,
         "No SNMP Error\nendOfMibView" + view},
        {"noSuchObject", makeResponse(next, hexBytes("80 00")), false, WalkEnd::EndOfColumn,
         "No SNMP Error\nnoSuchObject" + view},
        {"noSuchInstance", makeResponse(next, hexBytes("81 00")), false, WalkEnd::EndOfColumn,
         "No SNMP Error\nnoSuchInstance" + view},
        {"too few index numbers", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.1", macValue(mac)), false,
         WalkEnd::BadIndex,
         "No SNMP Error\nOID Response:    1.3.6.1.2.1.4.22.1.2.1.10.0.1\nIndex that could not be read: 1.10.0.1\n"},
        {"an address number above 255", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.256", macValue(mac)), false,
         WalkEnd::BadIndex},
        {"the next column", makeResponse("1.3.6.1.2.1.4.22.1.3.1.10.0.0.1", macValue(mac)), false},
        {"a column that starts with the same digits", makeResponse("1.3.6.1.2.1.4.22.1.20.1.10.0.0.1", macValue(mac)),
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto reply = decoded(row.reply);
        ASSERT_NE(reply, nullptr);
        for (const bool debug : {false, true}) {
            std::FILE* stream = std::tmpfile();
            Row read;
            std::optional<Ending> end;
            {
                Output out(stream);
                end = judge(*reply, kNetToMedia, debug, out, read);
            }
            // The ending's line is printed by the walk; with -d, what led to it.
            const std::string progress = readBack(stream);
            const std::string shown = debug && !row.progress.empty() ? "received...RequestID matches..." + row.progress : "";
            if (!debug || !row.progress.empty()) {
                EXPECT_EQ(progress, shown);
            }
            ASSERT_EQ(!end.has_value(), row.row);
            if (end.has_value()) {
                EXPECT_EQ(end->end, row.end);
            }
        }
    }
}

TEST(Verdict, TheTallyOfAnExchange) {
    // Each attempt as letters: R its send refused; what came, in order: T a
    // Trap, N an InformRequest, V an SNMPv2-Trap, I another request-id, B no
    // binding, F and G replies for two earlier OIDs, J junk, L too long for
    // the buffer, S and s datagrams from two other hosts, P a report of the
    // network's. Nothing: silence.
    constexpr int kRefusal = EHOSTUNREACH;
    const std::string refusal = "ERROR: The request could not be sent: " + net::errorText(kRefusal) + "\n";
    const std::string strangers =
        "ERROR: Datagrams came only from 127.0.0.2, not from the device's address, and were set aside\n";
    const std::string mix = "ERROR: The device's replies could not be used: ";
    const std::string trap = "ERROR: The device answered with a Trap, not a GetResponse\n";
    const std::string keeps = "ERROR: Asked for the OID after " + kAsked + ", the device keeps answering with ";
    const std::string reported = "ERROR: 127.0.0.1 reports that 127.0.0.1 cannot be reached (ICMP host unreachable)\n";
    const auto aside = [](char c) {
        Aside aside{{AsideReason::NotAResponse}, kAsked, kColumn};
        switch (c) {
            case 'T': aside.kind.pduType = pdutags::kTrap; break;
            case 'N': aside.kind.pduType = pdutags::kInformRequest; break;
            case 'V': aside.kind.pduType = pdutags::kV2Trap; break;
            case 'I': aside.kind.reason = AsideReason::OtherRequestId; break;
            case 'B': aside.kind.reason = AsideReason::NoBinding; break;
            case 'G': aside.answered = kColumn + std::string(".1");
                      [[fallthrough]];
            case 'F': aside.kind.reason = AsideReason::NotFollowing; break;
            case 'J': aside.kind.reason = AsideReason::Unreadable; break;
            default: aside.kind.reason = AsideReason::TooLong; break;
        }
        return aside;
    };
    const struct {
        std::vector<std::string> attempts;
        std::string lines;
    } rows[] = {
        {{"I", "I", "I"}, "ERROR P1: Request ID does not match\n"},
        // A kind's own line only when every attempt drew only that kind,
        // with the details of the latest datagram.
        {{"F", "F", "G"}, keeps + kColumn + ".1; the walk cannot go on.\n"},
        {{"T", "I", "I"}, mix + "a Trap, a reply with another request-id\n"},
        {{"I", "I", "T"}, mix + "a reply with another request-id, a Trap\n"},
        {{"J", "J", "L"}, mix + "a datagram that could not be read, a reply longer than the 4096 bytes that can be received\n"},
        {{"F", "B", "F"}, mix + "a reply that does not follow the OID asked for, a reply without a binding\n"},
        {{"I", "TI", "I"}, mix + "a reply with another request-id, a Trap\n"},
        // Each PDU type is a kind of its own.
        {{"T", "NT", "V"}, mix + "a Trap, an InformRequest, an SNMPv2-Trap\n"},
        // An attempt that drew nothing from the device is silence.
        {{"T", "", "T"}, kNoReply},
        {{"T", "S", "T"}, kNoReply},
        // Refused sends that waited out their attempts: what came still counts.
        {{"T", "RT", "RT"}, trap},
        // Refusals are named, before the datagrams from other hosts; the
        // first other host is named.
        {{"", "R", "R"}, refusal + kNoReply},
        {{"S", "s", "R"}, refusal + strangers + kNoReply},
        {{"Ss", "", ""}, strangers + kNoReply},
        // The report first, then the refusal and the other hosts.
        {{"SP", "R", ""}, reported + refusal + strangers + kNoReply},
        // A report is no datagram set aside.
        {{"TP", "P", "T"}, reported + kNoReply},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines);
        Tally tally;
        for (const std::string& attempt : row.attempts) {
            tally.attempt(attempt.find('R') != std::string::npos, kRefusal);
            for (const char c : attempt) {
                if (c == 'S' || c == 's') tally.stranger(c == 'S' ? kStranger : kStranger + 1);
                else if (c == 'P') tally.report({net::Report::HostUnreachable, kAgent, kAgent, 161});
                else if (c != 'R') tally.setAside(aside(c));
            }
        }
        const Ending end = tally.ending();
        EXPECT_EQ(printed(end), row.lines);
        EXPECT_EQ(exitStatus(end), row.lines.find(kNoReply) != std::string::npos ? 2 : 3);
    }
}

TEST(Endings, ExitStatusesAndLines) {
    Ending stopped(WalkEnd::Interrupted);
    stopped.code = 15;
    Ending lost(WalkEnd::OutputFailed);
    lost.code = ENOSPC;
    Ending unresolved(WalkEnd::NoReply);
    unresolved.silence.unready = {Unready::NotResolved, 0};
    unresolved.silence.agent = "device.invalid";
    const struct {
        Ending ending;
        int status;
        std::string line;
        std::string error = "";
    } rows[] = {
        {WalkEnd::EndOfColumn, 0, ""},
        {WalkEnd::Usage, 1, ""},
        {WalkEnd::NoReply, 2, kNoReply},
        {WalkEnd::ErrorStatus, 3, "ERROR P1: Error receiving packet\n"},
        {WalkEnd::BadIndex, 3, "ERROR: Mac address could not be read\n"},
        {unresolved, 2,
         "ERROR: The name device.invalid could not be resolved to an IPv4 address: " + net::errorText(0) + "\n" + kNoReply},
        {WalkEnd::OutOfMemory, 4, "ERROR: Out of memory\n"},
        {lost, 5, "", "ERROR: The output could not be written: " + std::string(std::strerror(ENOSPC)) + "\n"},
        {stopped, 143, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.status);
        std::string errors;
        EXPECT_EQ(printed(row.ending, &errors), row.line);
        EXPECT_EQ(errors, row.error);
        EXPECT_EQ(exitStatus(row.ending), row.status);
    }
}

}  // namespace
