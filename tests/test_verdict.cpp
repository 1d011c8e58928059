#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/messages.h"
#include "tests/runner.h"
#include "walker/verdict.h"

namespace {

constexpr std::uint32_t kAgent = 0x7F000001;     // 127.0.0.1
constexpr std::uint32_t kStranger = 0x7F000002;  // 127.0.0.2
constexpr std::uint32_t kRouter = 0x0A010201;    // 10.1.2.1
constexpr int kAttemptMs = 1000;

const char kColumn[] = "1.3.6.1.2.1.4.22.1.2";
const std::string kAsked = std::string(kColumn) + ".1.10.0.0.1";
const Bytes kNext = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", macValue("00 00 00 00 00 02"));

// The bytes with another PDU tag: the walk's replies are short enough for
// the tag to sit at byte 13, after the version and the community "public".
Bytes withPduTag(Bytes bytes, std::uint8_t tag) {
    bytes[13] = tag;
    return bytes;
}

// A datagram as the transport hands it up: Unreadable when the bytes do not decode.
Datagram datagramOf(const Bytes& bytes, std::uint32_t sender = kAgent, Received what = Received::Message) {
    Datagram datagram;
    datagram.what = what;
    datagram.sender = sender;
    if (what == Received::Message) datagram.message = decoded(bytes);
    if (what == Received::Message && datagram.message == nullptr) datagram.what = Received::Unreadable;
    return datagram;
}

// Made only to say who the agent is: nothing is sent on them. The socket
// library starts before they are made, and stops after they are gone.
struct Agents {
    Winsock started;
    SnmpTransport unicast{161, "127.0.0.1"};
    SnmpTransport broadcast{161, "255.255.255.255"};
};

// A request's attempts told a script of events, one letter each, all at one
// moment unless time passes:
//   sends:     o went out, r refused (EHOSTUNREACH), b failed by the reports heard since
//   the wait:  t nothing came, f the receive failed, z the rest ended,
//              y no more reports are heard
//   datagrams: A the answer; set aside: T a Trap, K an InformRequest, V an
//              SNMPv2-Trap, I another request-id, B no binding, F and G
//              replies for two earlier OIDs, J junk, L too long for the
//              buffer; S and s from two other hosts
//   reports:   P port unreachable from the device, H host unreachable from a router
//   n a new request; + the attempt's time passes; blanks are for the eye.
// What came of each event, one letter each: s send, e send again, w wait,
// 0 wait without waiting (read what waits), r rest, d hear no more reports,
// t take the answer, x the end; and, in debug mode, what was shown, then the ending's lines.
struct Told {
    std::string nexts, shown, lines;
};

Told tell(Agents& agents, const std::string& events, bool debug = false) {
    SnmpOid asked(kAsked.c_str());
    Attempts attempts(agents.unicast, kAttemptMs, debug);
    auto now = Attempts::Clock::time_point() + std::chrono::hours(1);
    const auto report = [](net::Report::Kind kind, std::uint32_t sender, std::uint32_t to, std::uint16_t port) {
        return net::Report{kind, sender, to, port, 3, static_cast<std::uint8_t>(kind == net::Report::PortUnreachable ? 3 : 1)};
    };
    Told told;
    const auto note = [&](const Attempts::Step& step) {
        const char* letters = "sewrdtx";
        char letter = letters[static_cast<int>(step.next)];
        if (step.next == Attempts::Next::Wait && step.ms == 0) letter = '0';
        told.nexts += letter;
        told.shown += attempts.shown();
        if (step.next == Attempts::Next::End) told.lines = printed(attempts.ending());
    };
    attempts.ask(asked);
    for (const char c : events) {
        switch (c) {
            case ' ': break;
            case '+': now += std::chrono::milliseconds(kAttemptMs); break;
            case 'n': note(attempts.ask(asked)); break;
            case 'o': note(attempts.sent(now)); break;
            case 'r': note(attempts.refused(EHOSTUNREACH, now)); break;
            case 'b': note(attempts.blocked(now)); break;
            case 't': note(attempts.timedOut()); break;
            case 'f': note(attempts.failed(now)); break;
            case 'z': note(attempts.rested(now)); break;
            case 'y': note(attempts.deafened(now)); break;
            case 'P': note(attempts.heard(report(net::Report::PortUnreachable, kAgent, kAgent, 161), now)); break;
            case 'H': note(attempts.heard(report(net::Report::HostUnreachable, kRouter, kAgent, 161), now)); break;
            default: {
                const std::map<char, Bytes> bytes = {
                    {'A', kNext}, {'S', kNext}, {'s', kNext}, {'T', makeTrap()},
                    {'K', withPduTag(kNext, pdutags::kInformRequest)}, {'V', withPduTag(kNext, pdutags::kV2Trap)},
                    {'I', makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", macValue("00 01 02 03 04 05"), 124)},
                    {'B', makeResponse(nullptr, nullptr)}, {'F', makeResponse(kColumn, macValue("00"))},
                    {'G', makeResponse((std::string(kColumn) + ".1").c_str(), macValue("00"))},
                    {'J', hexBytes("30 00 00 00 00 00")}, {'L', {}}};
                const std::uint32_t sender = c == 'S' ? kStranger : c == 's' ? kStranger + 1 : kAgent;
                note(attempts.heard(datagramOf(bytes.at(c), sender, c == 'L' ? Received::TooLong : Received::Message), now));
            }
        }
    }
    return told;
}

TEST(Attempts, WhatADatagramMeans) {
    Agents agents;
    const std::string keeps = "ERROR: Asked for the OID after " + kAsked + ", the device keeps answering with ";
    const struct {
        const char* what;
        Bytes bytes;  // decoded as the transport does: Unreadable when they do not decode
        std::string line;  // empty: it answers; else the ending's line when every attempt draws only such
        Received received = Received::Message;
        std::uint32_t sender = kAgent;
    } rows[] = {
        {"the next row", kNext, ""},
        // An error reply names the OID that its request asked for.
        {"tooBig for the OID asked", makeResponse(kAsked.c_str(), nullptr, 123, 1), ""},
        {"noSuchName for the OID asked", makeResponse(kAsked.c_str(), nullptr, 123, 2), ""},
        // Only a GetResponse answers, even with the request's id and the next row.
        {"a GetRequest naming the next row", withPduTag(kNext, pdutags::kGetRequest),
         "ERROR: The device answered with a GetRequest, not a GetResponse\n"},
        {"a Report naming the next row", withPduTag(kNext, 0xA8),
         "ERROR: The device answered with a PDU the tool does not know, not a GetResponse\n"},
        {"a Trap", makeTrap(), "ERROR: The device answered with a Trap, not a GetResponse\n"},
        {"another request-id", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", macValue("00 01 02 03 04 05"), 124),
         "ERROR P1: Request ID does not match\n"},
        {"no binding", makeResponse(nullptr, nullptr), "ERROR: The reply holds no variable binding\n"},
        {"noSuchName without a binding", makeResponse(nullptr, nullptr, 123, 2),
         "ERROR: The reply holds no variable binding\n"},
        // An SNMPv2 exception answers when it names the OID asked (as
        // endOfMibView does) or a later one; for an earlier OID it is a
        // late copy, like any other reply.
        {"endOfMibView for the OID asked",
         makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 01"), hexBytes("82 00")), ""},
        {"noSuchInstance for the next row",
         makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 02"), hexBytes("81 00")), ""},
        {"noSuchObject for the column", makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02"), hexBytes("80 00")),
         keeps + kColumn + "; the walk cannot go on.\n"},
        // A late copy of the answer to the OID asked, or of an earlier one.
        {"the OID asked, again", makeResponse(kAsked.c_str(), macValue("00 01 02 03 04 05")),
         keeps + kAsked + "; the walk cannot go on.\n"},
        {"the column without index", makeResponse(kColumn, macValue("00 01 02 03 04 05")),
         keeps + kColumn + "; the walk cannot go on.\n"},
        {"noSuchName for an earlier OID", makeResponse(kColumn, nullptr, 123, 2),
         keeps + kColumn + "; the walk cannot go on.\n"},
        {"genErr for an earlier OID", makeResponse(kColumn, nullptr, 123, 5),
         keeps + kColumn + "; the walk cannot go on.\n"},
        {"six junk bytes", hexBytes("30 00 00 00 00 00"), "ERROR: The device's replies could not be read\n"},
        // 1.3.6.1.2.1.4.22.1.2.1.10.0.0.4294967305, which modulo 2^32 would be 10.0.0.9.
        {"an index number past 32 bits",
         makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 90 80 80 80 09"), hexBytes("04 01 00")),
         "ERROR: The device's replies could not be read\n"},
        {"a reply too long for the buffer", {},
         "ERROR: The device's replies are longer than the 4096 bytes that can be received\n", Received::TooLong},
        // Who sent it comes first, whatever it is.
        {"the next row from a stranger", kNext,
         "ERROR: Datagrams came only from 127.0.0.2, not from the device's address, and were set aside\n" +
             std::string(kNoReply),
         Received::Message, kStranger},
        {"a reply too long for the buffer, from a stranger", {},
         "ERROR: Datagrams came only from 127.0.0.2, not from the device's address, and were set aside\n" +
             std::string(kNoReply),
         Received::TooLong, kStranger},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SnmpOid asked(kAsked.c_str());
        Attempts attempts(agents.unicast, kAttemptMs, false);
        const auto now = Attempts::Clock::now();
        attempts.ask(asked);
        // Every attempt draws only this datagram.
        Attempts::Step step{Attempts::Next::Send};
        for (int i = 0; i < kAttempts && step.next == Attempts::Next::Send; ++i) {
            attempts.sent(now);
            step = attempts.heard(datagramOf(row.bytes, row.sender, row.received), now);
            if (step.next == Attempts::Next::Take) break;
            EXPECT_EQ(step.next, Attempts::Next::Wait);
            step = attempts.timedOut();
        }
        EXPECT_EQ(step.next, row.line.empty() ? Attempts::Next::Take : Attempts::Next::End);
        if (!row.line.empty()) {
            EXPECT_EQ(printed(attempts.ending()), row.line);
        }
    }
}

TEST(Attempts, WhatAReportMeans) {
    const net::Report port{net::Report::PortUnreachable, kAgent, kAgent, 161, 3, 3};
    const std::string nobody = "ERROR: 127.0.0.1 reports that nothing listens on UDP port 161 there, or a firewall "
                               "rejects it (ICMP port unreachable)\n";
    const struct {
        const char* what;
        net::Report report;
        bool answered = false;  // whether a datagram has answered a request of the walk
        bool broadcast = false;
        bool endsAttempt = false;
        std::string line = "";   // before the no-reply line: the request drew it first
        std::string shown = "";  // in debug mode, where it came
    } rows[] = {
        // Before any answer (datagrams set aside are none), the device's own
        // port unreachable, or one without a sender, says that nothing listens.
        {"port unreachable from the device", port, false, false, true, nobody,
         "a report from 127.0.0.1: ICMP port unreachable..."},
        {"port unreachable without a sender", {net::Report::PortUnreachable, 0, kAgent, 161}, false, false, true,
         "ERROR: The network reports that nothing listens on UDP port 161 at 127.0.0.1, or a firewall rejects it "
         "(ICMP port unreachable)\n",
         "a report from the network: ICMP port unreachable..."},
        // Once one has answered, an agent that restarts is ridden out.
        {"port unreachable after an answer", port, true, false, false, nobody},
        {"port unreachable about a broadcast", {net::Report::PortUnreachable, kAgent, 0xFFFFFFFF, 161}, false, true,
         false,
         "ERROR: 127.0.0.1 reports that nothing listens on UDP port 161 at 255.255.255.255, or a firewall rejects it "
         "(ICMP port unreachable)\n"},
        // The line names who sent it, and the device it is about.
        {"port unreachable from a router", {net::Report::PortUnreachable, kRouter, kAgent, 161}, false, false, false,
         "ERROR: 10.1.2.1 reports that nothing listens on UDP port 161 at 127.0.0.1, or a firewall rejects it "
         "(ICMP port unreachable)\n",
         "a report from 10.1.2.1: ICMP port unreachable..."},
        // A report about a datagram the walk did not send to the agent is not the device speaking.
        {"about another port", {net::Report::PortUnreachable, kAgent, kAgent, 9999}, false, false, false, "",
         "ignored a report from 127.0.0.1 about 127.0.0.1 port 9999: ICMP port unreachable..."},
        {"about another address", {net::Report::PortUnreachable, kAgent, 0x0A460009, 161}, false, false, false, "",
         "ignored a report from 127.0.0.1 about 10.70.0.9 port 161: ICMP port unreachable..."},
        // No other report shortens a wait.
        {"host unreachable", {net::Report::HostUnreachable, kRouter, kAgent, 161, 3, 1}, false, false, false,
         "ERROR: 10.1.2.1 reports that 127.0.0.1 cannot be reached (ICMP host unreachable)\n",
         "a report from 10.1.2.1: ICMP host unreachable..."},
        {"network unreachable", {net::Report::NetworkUnreachable, kAgent, kAgent, 161, 3, 0}, false, false, false,
         "ERROR: 127.0.0.1 reports that 127.0.0.1 cannot be reached (ICMP network unreachable)\n"},
        {"prohibited", {net::Report::Prohibited, kRouter, kAgent, 161, 3, 13}, false, false, false,
         "ERROR: 10.1.2.1 reports that 127.0.0.1 cannot be reached (ICMP administratively prohibited)\n"},
        {"time exceeded without a sender", {net::Report::TimeExceeded, 0, kAgent, 161, 11, 0}, false, false, false,
         "ERROR: The network reports that 127.0.0.1 cannot be reached (ICMP time exceeded)\n"},
        {"another ICMP error", {net::Report::Other, kAgent, kAgent, 161, 3, 4}, false, false, false,
         "ERROR: 127.0.0.1 reports that 127.0.0.1 cannot be reached (ICMP type 3, code 4)\n",
         "a report from 127.0.0.1: ICMP type 3, code 4..."},
    };
    Agents agents;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SnmpOid asked(kAsked.c_str());
        SnmpTransport& transport = row.broadcast ? agents.broadcast : agents.unicast;
        Attempts attempts(transport, kAttemptMs, true);
        const auto now = Attempts::Clock::now();
        attempts.ask(asked);
        if (row.answered) {
            attempts.sent(now);
            ASSERT_EQ(attempts.heard(datagramOf(kNext), now).next, Attempts::Next::Take);
            attempts.ask(asked);
        }
        attempts.sent(now);
        attempts.shown();
        const Attempts::Step step = attempts.heard(row.report, now);
        // Ending the attempt, the wait reads only what already waits.
        EXPECT_EQ(step.next, Attempts::Next::Wait);
        EXPECT_EQ(step.ms == 0, row.endsAttempt);
        if (!row.shown.empty()) {
            EXPECT_EQ(attempts.shown(), row.shown);
        }
        // Only the first report is named, and a report is no datagram set aside.
        if (!row.line.empty()) attempts.heard(net::Report{net::Report::TimeExceeded, 0, kAgent, 161}, now);
        attempts.timedOut();
        for (int i = 1; i < kAttempts; ++i) {
            attempts.sent(now);
            attempts.timedOut();
        }
        const Ending end = attempts.ending();
        EXPECT_EQ(exitStatus(end), 2);
        EXPECT_EQ(printed(end), row.line + kNoReply);
    }
}

TEST(Attempts, WhatARequestComesTo) {
    constexpr int kRefusal = EHOSTUNREACH;
    const std::string refusal = "ERROR: The request could not be sent: " + net::errorText(kRefusal) + "\n";
    const std::string strangers =
        "ERROR: Datagrams came only from 127.0.0.2, not from the device's address, and were set aside\n";
    const std::string mix = "ERROR: The device's replies could not be used: ";
    const std::string trap = "ERROR: The device answered with a Trap, not a GetResponse\n";
    const std::string keeps = "ERROR: Asked for the OID after " + kAsked + ", the device keeps answering with ";
    const std::string routers = "ERROR: 10.1.2.1 reports that 127.0.0.1 cannot be reached (ICMP host unreachable)\n";
    const std::string nobody = "ERROR: 127.0.0.1 reports that nothing listens on UDP port 161 there, or a firewall "
                               "rejects it (ICMP port unreachable)\n";
    const struct {
        const char* what;
        std::string events;
        std::string nexts;  // empty: not checked
        std::string lines = "";
    } rows[] = {
        {"an answer", "oA", "wt"},
        {"silence", "ot ot ot", "ws ws wx", kNoReply},
        // A kind's own line only when every attempt drew only that kind,
        // with the details of the latest datagram.
        {"another request-id each time", "oIt oIt oIt", "wws wws wwx", "ERROR P1: Request ID does not match\n"},
        {"late copies", "oFt oFt oGt", "", keeps + kColumn + ".1; the walk cannot go on.\n"},
        {"a mix", "oTt oIt oIt", "", mix + "a Trap, a reply with another request-id\n"},
        {"the mix in the order it came", "oIt oIt oTt", "", mix + "a reply with another request-id, a Trap\n"},
        {"junk", "oJt oJt oLt", "",
         mix + "a datagram that could not be read, a reply longer than the 4096 bytes that can be received\n"},
        {"bindings", "oFt oBt oFt", "",
         mix + "a reply that does not follow the OID asked for, a reply without a binding\n"},
        {"each kind once", "oIt oTIt oIt", "", mix + "a reply with another request-id, a Trap\n"},
        // Each PDU type is a kind of its own.
        {"PDU types", "oTt oKTt oVt", "", mix + "a Trap, an InformRequest, an SNMPv2-Trap\n"},
        // An attempt that drew nothing from the device is silence.
        {"a silent attempt", "oTt ot oTt", "", kNoReply},
        {"an attempt that drew only another host's", "oTt oSt oTt", "", kNoReply},
        // Refused sends that waited out their attempts: what came still counts.
        {"refused after a send went out", "oTt rTt rTt", "wws wws wwx", trap},
        // With nothing sent yet, a refused send ends its attempt at once.
        {"refused from the start", "r r r", "ssx", refusal + kNoReply},
        // Refusals are named, before the datagrams from other hosts; the
        // first other host is named.
        {"refusals and other hosts", "oSt ost rt", "", refusal + strangers + kNoReply},
        {"other hosts", "oSst ot ot", "", strangers + kNoReply},
        // The report first, then the refusal and the other hosts.
        {"all of it", "oSHt rt ot", "", routers + refusal + strangers + kNoReply},
        // A report is no datagram set aside.
        {"reports among datagrams set aside", "oTHt oHt oTt", "", routers + kNoReply},
        // Before any answer, the device's port unreachable ends the attempt:
        // once what already waits is read, and an answer among it is taken.
        {"nothing listens", "oPt oPt oPt", "w0s w0s w0x", nobody + kNoReply},
        {"an answer read after the report", "oPA", "w0t"},
        // A send that a waiting report failed is no attempt and no refused send:
        // it goes again at once, and the report is heard for what it is.
        {"a send failed by a report", "b ot b b ot ot", "e ws e e ws wx", kNoReply},
        {"a report about this request fails a send", "ot Hb ot ot", "ws ee ws wx", routers + kNoReply},
        // ...and does not make the next wait read only what waits.
        {"nothing listens, heard at a failed send", "ot Pb ot ot", "ws ee ws wx", nobody + kNoReply},
        // Reports left from the request before, which was answered, are not heeded.
        {"reports left from the request before", "oA n Hb ot ot ot", "wt s ee ws ws wx", kNoReply},
        // Under a flood that fails every send, the attempt's time still runs out.
        {"sends failed until the time runs out", "b+b b+b b+b", "es es ex", kNoReply},
        // A hundred reports in one attempt are a flood: no more are heard,
        // and the attempt goes on; in the next, the count starts again.
        {"a flood of reports", "o" + std::string(100, 'H') + "yt o" + std::string(99, 'H') + "t",
         "w" + std::string(99, 'w') + "dws w" + std::string(99, 'w') + "s"},
        {"a flood of reports at a failed send", "ot " + std::string(100, 'H') + "yb o",
         "ws" + std::string(99, 'e') + "dee w"},
        // A receive that fails for no reason the system gave rests, and the
        // wait goes on to its deadline.
        {"a failed receive", "ofzA", "wrwt"},
        {"a failed receive at the deadline", "o+f", "ws"},
    };
    Agents agents;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Told told = tell(agents, row.events);
        std::string nexts = row.nexts;
        nexts.erase(std::remove(nexts.begin(), nexts.end(), ' '), nexts.end());
        if (!nexts.empty()) {
            EXPECT_EQ(told.nexts, nexts);
        }
        EXPECT_EQ(told.lines, row.lines);
    }
}

TEST(Attempts, WhatIsShown) {
    // In debug mode: each attempt's sending line, the first included, what
    // each send came to, and what each datagram and report was, as it came.
    const std::string sending = "\nSending GETNEXT: " + kAsked + "...";
    const struct {
        std::string events, shown;
    } rows[] = {
        // Each datagram set aside as the ending's line names its kind, with what it held.
        {"oTIFA", "sent\nReceiving response...ignored a Trap...ignored a reply with another request-id: 124..."
                  "ignored a reply that does not follow the OID asked for: " + std::string(kColumn) +
                  "...completed..."},
        {"ot r", "sent\nReceiving response...completed..." + sending + "failed: " + net::errorText(EHOSTUNREACH) +
                     "\nReceiving response..."},
        {"Pbo", "ignored a report from 127.0.0.1 about an earlier request: ICMP port unreachable...sent\n"
                "Receiving response..."},
        {"oSt", "sent\nReceiving response...ignored a datagram from 127.0.0.2...completed..." + sending},
    };
    Agents agents;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.events);
        EXPECT_EQ(tell(agents, row.events, true).shown, sending + row.shown);
    }
}

TEST(Endings, ExitStatusesAndLines) {
    const struct {
        Ending ending;
        int status;
        std::string line;
        std::string error = "";
    } rows[] = {
        {WalkEnd::EndOfColumn, 0, ""},
        {Ending(Refusal::Usage), 1, ""},
        {Ending(Silence{}), 2, kNoReply},
        {WalkEnd::ErrorStatus, 3, "ERROR P1: Error receiving packet\n"},
        {WalkEnd::BadIndex, 3, "ERROR: Mac address could not be read\n"},
        {WalkEnd::OutOfMemory, 4, "ERROR: Out of memory\n"},
        {Ending::outputFailed(ENOSPC), 5, "", "ERROR: The output could not be written: " + std::string(std::strerror(ENOSPC)) + "\n"},
        {Ending::interrupted(15), 143, ""},
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
