#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/messages.h"
#include "tests/runner.h"
#include "walker/exchange.h"
#ifdef TARNWICK_PROPERTIES
#include <rapidcheck/gtest.h>
#endif

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kAgent = 0x7F000001;     // 127.0.0.1
constexpr std::uint32_t kStranger = 0x7F000002;  // 127.0.0.2
constexpr std::uint32_t kRouter = 0x0A010201;    // 10.1.2.1
constexpr Peer kDevice{kAgent, 161, false};
constexpr Peer kBroadcast{0xFFFFFFFF, 161, true};

const char kColumn[] = "1.3.6.1.2.1.4.22.1.2";
const std::string kAsked = std::string(kColumn) + ".1.10.0.0.1";
const Bytes kNext = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", macValue("00 00 00 00 00 02"));

// The bytes with another PDU tag: the walk's replies are short enough for
// the tag to sit at byte 13, after the version and the community "public".
Bytes withPduTag(Bytes bytes, std::uint8_t tag) {
    bytes[13] = tag;
    return bytes;
}

// What a wait came to, as the transport hands it up: Unreadable when the bytes do not decode.
Datagram datagramOf(Received what, const Bytes& bytes = {}, std::uint32_t sender = kAgent) {
    Datagram datagram{what, sender, what == Received::Message ? decoded(bytes) : nullptr, {}};
    if (what == Received::Message && datagram.message == nullptr) datagram.what = Received::Unreadable;
    return datagram;
}

// A walk's requests told to an exchange event by event, each attempt given a
// second: what it decided at each ("send", "wait 1000", "rest 100 wait 700",
// "take", "end", with "(reports off)" once it hears no more), what it showed
// in debug mode, and the ending's lines when it decided to end.
struct Told {
    std::string decisions, shown, lines;
};
struct Story : Told {
    Story(const Peer& peer, bool debug) : exchange(peer, 1000, debug) {}
    Exchange exchange;
    SnmpOid asked{kAsked.c_str()};
    Exchange::Clock::time_point now{std::chrono::hours(1)};
    std::int32_t waitMs = 0;  // the latest wait it asked for

    void note(const Exchange::Step& step) {
        static const char* const words[] = {"send", "wait", "take", "end"};
        std::string said = words[static_cast<int>(step.next)];
        if (step.next == Exchange::Next::Wait) {
            said = (step.restMs != 0 ? "rest " + std::to_string(step.restMs) + " " : "") + said + " " +
                   std::to_string(step.waitMs);
            waitMs = step.waitMs;
        }
        decisions += (decisions.empty() ? "" : ", ") + said + (step.hears > 0 ? "" : " (reports off)");
        shown += exchange.shown();
        if (step.next == Exchange::Next::End) lines = printed(exchange.ending());
    }
};
using Event = std::function<void(Story&)>;

Told tell(const std::vector<Event>& events, const Peer& peer = kDevice, bool debug = false) {
    Story story(peer, debug);
    story.exchange.ask(story.asked);
    for (const Event& event : events) event(story);
    return story;
}

// The sends.
const Event sent = [](Story& s) { s.note(s.exchange.sent(s.now)); };
// A send that the system refused, at once again.
const Event refusedOnce = [](Story& s) { s.note(s.exchange.sendFailed(EHOSTUNREACH, {}, s.now)); };
const Event refused = [](Story& s) {
    s.exchange.sendFailed(EHOSTUNREACH, {}, s.now);
    s.note(s.exchange.sendFailed(EHOSTUNREACH, {}, s.now));
};
// A send that the reports that waited failed.
Event failedBy(const net::Report& report, int times = 1) {
    return [=](Story& s) {
        const std::vector<net::Report> reports(static_cast<std::size_t>(times), report);
        s.note(s.exchange.sendFailed(ECONNREFUSED, reports, s.now));
    };
}
// The waits: nothing came in the time asked for; the receive failed.
const Event nothingCame = [](Story& s) {
    s.now += std::chrono::milliseconds(s.waitMs);
    s.note(s.exchange.received(datagramOf(Received::TimedOut), s.now));
};
const Event receiveFailed = [](Story& s) { s.note(s.exchange.received(datagramOf(Received::Failed), s.now)); };
Event later(int ms) { return [=](Story& s) { s.now += std::chrono::milliseconds(ms); }; }
const Event nextRequest = [](Story& s) { s.note(s.exchange.ask(s.asked)); };
// A send that went out, what it drew, and nothing more in the attempt's time.
Event attempt(const std::vector<Event>& drawn = {}) {
    return [=](Story& s) {
        sent(s);
        for (const Event& event : drawn) event(s);
        nothingCame(s);
    };
}

// Datagrams.
Event datagram(const Bytes& bytes, std::uint32_t sender = kAgent, Received what = Received::Message) {
    return [=](Story& s) { s.note(s.exchange.received(datagramOf(what, bytes, sender), s.now)); };
}
const Event answer = datagram(kNext);
const Event fromAnotherHost = datagram(makeTrap(), kStranger);
const Event trap = datagram(makeTrap());
const Event inform = datagram(withPduTag(kNext, pdutags::kInformRequest));
const Event v2Trap = datagram(withPduTag(kNext, pdutags::kV2Trap));
const Event otherId = datagram(makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.2", macValue("00 01 02 03 04 05"), 124));
const Event noBinding = datagram(makeResponse(nullptr, nullptr));
const Event theColumn = datagram(makeResponse(kColumn, macValue("00")));
const Event theColumnDotOne = datagram(makeResponse((std::string(kColumn) + ".1").c_str(), macValue("00")));
const Event junk = datagram(hexBytes("30 00 00 00 00 00"));
const Event tooLong = datagram({}, kAgent, Received::TooLong);

// Reports, about the request's datagram to the device, heard times times.
const net::Report kPortClosed{net::Report::PortUnreachable, kAgent, kAgent, 161, 3, 3};
const net::Report kRouterHostUnreachable{net::Report::HostUnreachable, kRouter, kAgent, 161, 3, 1};
const net::Report kSpent{net::Report::Other, 0, kAgent, 161, 0, 0, true};
Event report(const net::Report& report, int times = 1) {
    return [=](Story& s) {
        Datagram datagram = datagramOf(Received::Report);
        datagram.report = report;
        for (int i = 1; i < times; ++i) s.exchange.received(datagram, s.now);
        s.note(s.exchange.received(datagram, s.now));
    };
}
const Event portClosed = report(kPortClosed);
const Event hostUnreachable = report(kRouterHostUnreachable);

// Datagrams of every kind: from the device, each answers or, when every
// attempt draws only such, ends the walk with its line.
const std::string kKeeps = "ERROR: Asked for the OID after " + kAsked + ", the device keeps answering with ";
struct Drawable {
    const char* what;
    Bytes bytes;  // decoded as the transport does: Unreadable when they do not decode
    std::string line;  // empty: it answers; else the ending's line when every attempt draws only such
    Received received = Received::Message;
    std::uint32_t sender = kAgent;
};
const Drawable kDatagrams[] = {
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
     kKeeps + kColumn + "; the walk cannot go on.\n"},
    // A late copy of the answer to the OID asked, or of an earlier one.
    {"the OID asked, again", makeResponse(kAsked.c_str(), macValue("00 01 02 03 04 05")),
     kKeeps + kAsked + "; the walk cannot go on.\n"},
    {"the column without index", makeResponse(kColumn, macValue("00 01 02 03 04 05")),
     kKeeps + kColumn + "; the walk cannot go on.\n"},
    {"noSuchName for an earlier OID", makeResponse(kColumn, nullptr, 123, 2),
     kKeeps + kColumn + "; the walk cannot go on.\n"},
    {"genErr for an earlier OID", makeResponse(kColumn, nullptr, 123, 5),
     kKeeps + kColumn + "; the walk cannot go on.\n"},
    {"six junk bytes", hexBytes("30 00 00 00 00 00"), "ERROR: The device's replies could not be read\n"},
    // 1.3.6.1.2.1.4.22.1.2.1.10.0.0.4294967305, which modulo 2^32 would be 10.0.0.9.
    {"an index number past 32 bits",
     makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 90 80 80 80 09"), hexBytes("04 01 00")),
     "ERROR: The device's replies could not be read\n"},
    {"a reply too long for the buffer", {},
     "ERROR: The device's replies are longer than the 4096 bytes that can be received\n", Received::TooLong},
    // Who sent it comes first, whatever it is.
    {"the next row from a stranger", kNext,
     "ERROR: Datagrams came only from 127.0.0.2, not from the device's address, and were ignored\n" +
         std::string(kNoReply),
     Received::Message, kStranger},
    {"a reply too long for the buffer, from a stranger", {},
     "ERROR: Datagrams came only from 127.0.0.2, not from the device's address, and were ignored\n" +
         std::string(kNoReply),
     Received::TooLong, kStranger},
};

TEST(Exchange, WhatADatagramMeans) {
    for (const Drawable& row : kDatagrams) {
        SCOPED_TRACE(row.what);
        const Event drawn = datagram(row.bytes, row.sender, row.received);
        // It answers, or every attempt draws only such.
        if (row.line.empty()) {
            EXPECT_EQ(tell({sent, drawn}).decisions, "wait 1000, take");
        } else {
            EXPECT_EQ(tell({attempt({drawn}), attempt({drawn}), attempt({drawn})}).lines, row.line);
        }
    }
}

TEST(Exchange, WhatAReportMeans) {
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
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<Event> events = {sent, report(row.report)};
        if (row.answered) events.insert(events.begin(), {sent, answer, nextRequest});
        // Only the first report is named, and a report is no datagram set aside.
        if (!row.line.empty()) events.push_back(report({net::Report::TimeExceeded, 0, kAgent, 161}));
        events.insert(events.end(), {nothingCame, attempt(), attempt()});
        const Told story = tell(events, row.broadcast ? kBroadcast : kDevice, true);
        // Ending the attempt, the wait reads only what already waits.
        EXPECT_EQ(story.decisions.find("wait 0") != std::string::npos, row.endsAttempt) << story.decisions;
        EXPECT_NE(story.shown.find(row.shown), std::string::npos) << story.shown;
        EXPECT_EQ(story.lines, row.line + kNoReply);
    }
}

TEST(Exchange, WhatARequestComesTo) {
    const std::string refusal = "ERROR: The request could not be sent: " + net::errorText(EHOSTUNREACH) + "\n";
    const std::string strangers =
        "ERROR: Datagrams came only from 127.0.0.2, not from the device's address, and were ignored\n";
    const std::string mix = "ERROR: The device's replies could not be used: ";
    const std::string trapLine = "ERROR: The device answered with a Trap, not a GetResponse\n";
    const std::string otherIdLine = "ERROR P1: Request ID does not match\n";
    const std::string keeps = "ERROR: Asked for the OID after " + kAsked + ", the device keeps answering with ";
    const std::string routers = "ERROR: 10.1.2.1 reports that 127.0.0.1 cannot be reached (ICMP host unreachable)\n";
    const std::string nobody = "ERROR: 127.0.0.1 reports that nothing listens on UDP port 161 there, or a firewall "
                               "rejects it (ICMP port unreachable)\n";
    const std::string silence = "wait 1000, send, wait 1000, send, wait 1000, end";
    const struct {
        const char* what;
        std::vector<Event> events;
        std::string decisions;  // empty: not checked
        std::string lines = "";
    } rows[] = {
        {"silence", {attempt(), attempt(), attempt()}, silence, kNoReply},
        // A kind's own line only when every attempt drew only that kind,
        // with the details of the latest datagram.
        {"another request-id each time", {attempt({otherId}), attempt({otherId}), attempt({otherId})},
         "wait 1000, wait 1000, send, wait 1000, wait 1000, send, wait 1000, wait 1000, end", otherIdLine},
        {"late copies", {attempt({theColumn}), attempt({theColumn}), attempt({theColumnDotOne})}, "",
         keeps + kColumn + ".1; the walk cannot go on.\n"},
        {"a mix", {attempt({trap}), attempt({otherId}), attempt({otherId})}, "",
         mix + "a Trap, a reply with another request-id\n"},
        {"the mix in the order it came", {attempt({otherId}), attempt({otherId}), attempt({trap})}, "",
         mix + "a reply with another request-id, a Trap\n"},
        {"junk", {attempt({junk}), attempt({junk}), attempt({tooLong})}, "",
         mix + "a datagram that could not be read, a reply longer than the 4096 bytes that can be received\n"},
        {"bindings", {attempt({theColumn}), attempt({noBinding}), attempt({theColumn})}, "",
         mix + "a reply that does not follow the OID asked for, a reply without a binding\n"},
        {"each kind once", {attempt({otherId}), attempt({trap, otherId}), attempt({otherId})}, "",
         mix + "a reply with another request-id, a Trap\n"},
        // Each PDU type is a kind of its own.
        {"PDU types", {attempt({trap}), attempt({inform, trap}), attempt({v2Trap})}, "",
         mix + "a Trap, an InformRequest, an SNMPv2-Trap\n"},
        // Refused sends that waited out their attempts: what came still counts.
        {"refused after a send went out", {attempt({trap}), refused, trap, nothingCame, refused, trap, nothingCame},
         "wait 1000, wait 1000, send, wait 1000, wait 1000, send, wait 1000, wait 1000, end", trapLine},
        // With nothing sent yet, a refused send pauses its attempt a second
        // (all of it here), then the next sends: a link down for less costs
        // no row, and the last attempt ends at once. Once a send has gone
        // out, a link that went down may come back: the attempt waits.
        {"refused from the start", {refused, nothingCame, refused, nothingCame, refused},
         "wait 1000, send, wait 1000, send, end", refusal + kNoReply},
        {"refused from the start, then a link back", {refused, nothingCame, sent, answer},
         "wait 1000, send, wait 1000, take"},
        {"refused after an answer", {sent, answer, nextRequest, refused}, "wait 1000, take, send, wait 1000"},
        // A report read already can leave its error pending, which fails one
        // send: a send refused once goes again at once. Linux's ECONNREFUSED
        // is always such a spent report: no refusal, and named nowhere.
        {"refused once", {sent, nothingCame, refusedOnce, sent, answer}, "wait 1000, send, send, wait 1000, take"},
        {"spent reports", {sent, nothingCame, failedBy(kSpent), failedBy(kSpent), sent, nothingCame, attempt()},
         "wait 1000, send, send, send, wait 1000, send, wait 1000, end", kNoReply},
        // Refusals are named, before the datagrams from other hosts, of which
        // the first is named; the report comes first of all.
        {"all of it", {attempt({fromAnotherHost, hostUnreachable}), refused, nothingCame, attempt()}, "",
         routers + refusal + strangers + kNoReply},
        // Before any answer, the device's port unreachable ends the attempt
        // once what already waits is read, and an answer among it is taken.
        {"nothing listens", {sent, portClosed, nothingCame, sent, portClosed, nothingCame, sent, portClosed, nothingCame},
         "wait 1000, wait 0, send, wait 1000, wait 0, send, wait 1000, wait 0, end", nobody + kNoReply},
        {"an answer read after the report", {sent, portClosed, answer}, "wait 1000, wait 0, take"},
        // A send that reports failed is no attempt and no refused send: it
        // goes again at once, and each report is heard for what it is, but
        // ends no attempt.
        {"a send failed by a report", {attempt(), failedBy(kRouterHostUnreachable), attempt(), attempt()},
         "wait 1000, send, send, wait 1000, send, wait 1000, end", routers + kNoReply},
        {"nothing listens, heard at a failed send", {attempt(), failedBy(kPortClosed), attempt(), attempt()},
         "wait 1000, send, send, wait 1000, send, wait 1000, end", nobody + kNoReply},
        // Under a flood that fails every send, the attempt's time still runs out.
        {"sends failed until the time runs out",
         {failedBy(kRouterHostUnreachable), later(1000), failedBy(kRouterHostUnreachable),
          failedBy(kRouterHostUnreachable), later(1000), failedBy(kRouterHostUnreachable),
          failedBy(kRouterHostUnreachable), later(1000), failedBy(kRouterHostUnreachable)},
         "send, send, send, send, send, end", kNoReply},
        // A receive that fails for no reason the system gave rests a moment,
        // and the wait goes on to its deadline.
        {"a failed receive", {sent, later(200), receiveFailed, answer}, "wait 1000, rest 100 wait 700, take"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Told story = tell(row.events);
        if (!row.decisions.empty()) {
            EXPECT_EQ(story.decisions, row.decisions);
        }
        EXPECT_EQ(story.lines, row.lines);
    }
}

TEST(Exchange, WhatIsShown) {
    // In debug mode: each attempt's sending line, the first included, what
    // each send came to, and what each datagram and report was, as it came.
    const std::string sending = "\nSending GETNEXT: " + kAsked + "...";
    std::string flood;
    for (int i = 0; i < 100; ++i) flood += "a report from 10.1.2.1: ICMP host unreachable...";
    const struct {
        std::vector<Event> events;
        std::string shown;
    } rows[] = {
        // Each datagram set aside as the ending's line names its kind, with what it held.
        {{sent, trap, otherId, theColumn, answer},
         "sent\nReceiving response...ignored a Trap...ignored a reply with another request-id: 124..."
         "ignored a reply that does not follow the OID asked for: " + std::string(kColumn) + "...completed..."},
        {{refused, nothingCame}, "failed: " + net::errorText(EHOSTUNREACH) + "\n" + sending},
        // A spent report is not shown.
        {{failedBy(kSpent), sent}, "sent\nReceiving response..."},
        {{sent, nothingCame, refused, nothingCame},
         "sent\nReceiving response...completed..." + sending + "failed: " + net::errorText(EHOSTUNREACH) +
             "\nReceiving response...completed..." + sending},
        {{failedBy(kPortClosed), sent},
         "ignored a report from 127.0.0.1 about an earlier request: ICMP port unreachable...sent\n"
         "Receiving response..."},
        {{sent, fromAnotherHost, nothingCame}, "sent\nReceiving response...ignored a datagram from 127.0.0.2...completed..." + sending},
        {{sent, report(kRouterHostUnreachable, 100)},
         "sent\nReceiving response..." + flood + "too many reports: no more are heard..."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown);
        EXPECT_EQ(tell(row.events, kDevice, true).shown, sending + row.shown);
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

#ifdef TARNWICK_PROPERTIES
// The exchange over any walk: whatever the device, other hosts and the network
// send, in any order and at any time, told as the walk's loop tells it, each
// rule below holds after every step. A failing property prints its seed and
// the shortest walk that breaks it, event by event.

// Walks tried per property, unless RC_PARAMS says otherwise.
const bool kRuns = setenv("RC_PARAMS", "max_success=" TARNWICK_PROPERTY_RUNS, 0) == 0;

// One event as drawn; what it is depends on the step before it: what became
// of a send, what a wait came to, or the next request.
struct Drawn {
    int us;       // the time since the event before
    int outcome;  // which of the outcomes that the step allows
    int kind;     // of the datagram, the report or the send's error
    int from;     // the device, other hosts, a router, or no one named
    int about;    // a report's datagram: to the device's port, another port, another address
    int reports;  // the reports the system holds at a failed send
};
rc::Gen<Drawn> drawn() {
    using namespace rc::gen;
    const auto ms = [](int from, int to) { return inRange(from * 1000, to * 1000); };
    // Any time, and now and then an attempt's time to the microsecond.
    const auto times = weightedOneOf<int>({{2, just(0)}, {2, ms(0, 40)}, {3, ms(0, 1300)}, {1, just(1000000)}});
    return construct<Drawn>(times, inRange(0, 1000),
                            inRange(0, 1000), inRange(0, 4), inRange(0, 3),
                            weightedOneOf<int>({{4, just(0)}, {2, inRange(1, 4)}, {1, inRange(0, 151)}}));
}

// An event as the loop tells it, kept to tell a fresh exchange again.
struct Act {
    enum What { Asked, Sent, SendFailed, Came, Reported, NothingCame, ReceiveFailed } what;
    Exchange::Clock::time_point now;
    int error = 0;
    std::vector<net::Report> reports{};  // a failed send's, or the one report
    const Drawable* datagram = nullptr;
    std::uint32_t sender = kAgent;

    Exchange::Step to(Exchange& exchange, SnmpOid& asked) const {
        if (what == Asked) return exchange.ask(asked);
        if (what == Sent) return exchange.sent(now);
        if (what == SendFailed) return exchange.sendFailed(error, reports, now);
        Datagram d = datagramOf(what == NothingCame ? Received::TimedOut : Received::Failed);
        if (what == Came) d = datagramOf(datagram->received, datagram->bytes, sender);
        if (what == Reported) d = {Received::Report, 0, nullptr, reports.front()};
        return exchange.received(d, now);
    }
};

std::string said(const Exchange::Step& s) {
    static const char* const words[] = {"send", "wait", "take", "end"};
    return words[static_cast<int>(s.next)] + (" " + std::to_string(s.restMs)) + "+" + std::to_string(s.waitMs) +
           ", hears " + std::to_string(s.hears);
}

net::Report aReport(const Drawn& e, int i, const Peer& peer) {
    static const net::Report::Kind kinds[] = {net::Report::PortUnreachable, net::Report::HostUnreachable,
                                              net::Report::TimeExceeded, net::Report::Other};
    static const std::uint32_t senders[] = {kAgent, kRouter, 0, kStranger};
    const int about = (e.about + i / 3) % 3;
    return {kinds[(e.kind + i) % 4], senders[(e.from + i) % 4], about == 2 ? 0x0A460009u : peer.address,
            static_cast<std::uint16_t>(about == 1 ? 9999 : 161), 3, 3};
}

// The rules, one property each.
enum class Rule { Attempts, Deadline, NoSpin, Taken, Reports, Ending, Fresh };

// Tells an exchange a walk drawn at random, as the loop would, and checks the
// rule after every step against what the walk has drawn so far.
void walk(const Peer& peer, const std::vector<Drawn>& events, Rule rule) {
    Exchange exchange(peer, 1000, true);
    SnmpOid asked(kAsked.c_str());
    std::optional<std::uint32_t> answerer, answeredBefore;
    // What the request, and its attempt under way, drew.
    struct Drew {
        int attempts = 1, attemptsDrawing = 0, heard = 0;
        bool sent = false, drawing = false, started = false, fromDevice = false;
        Exchange::Clock::time_point start{};
        std::optional<net::Report> about{}, nobody{};
        std::optional<std::uint32_t> stranger{};
        std::vector<Act> acts{};
        std::vector<std::string> decided{};
    } r;
    Act act{Act::Asked, Exchange::Clock::time_point(1h)};
    Exchange::Step step = act.to(exchange, asked);
    r.acts = {act};
    r.decided = {said(step) + exchange.shown()};
    for (const Drawn& e : events) {
        if (step.next == Exchange::Next::End) break;
        act = {Act::Asked, act.now + std::chrono::microseconds(e.us)};
        if (step.next == Exchange::Next::Take) {
            answeredBefore = answerer;
            r = Drew{0};
        } else if (step.next == Exchange::Next::Send) {
            static const int errors[] = {EHOSTUNREACH, ENETUNREACH, ENOBUFS, EPERM, ECONNREFUSED};
            if (!std::exchange(r.started, true)) r.start = act.now;
            act.what = e.outcome % 4 == 3 ? Act::SendFailed : Act::Sent;
            act.error = errors[e.kind % 5];
            // The loop takes at most as many as the exchange still hears.
            for (int i = 0; act.what == Act::SendFailed && i < std::min(e.reports, step.hears); ++i) {
                act.reports.push_back(aReport(e, i, peer));
            }
        } else {
            static const Act::What waits[] = {Act::Came,     Act::Came,        Act::Came,       Act::Came,
                                               Act::Came,     Act::Reported,    Act::Reported,   Act::NothingCame,
                                               Act::NothingCame, Act::ReceiveFailed};
            act.what = waits[e.outcome % 10];
            // Any datagram of kDatagrams but the last two, from any sender.
            if (act.what == Act::Came) act.datagram = &kDatagrams[e.kind % (std::size(kDatagrams) - 2)];
            if (act.what == Act::Came) act.sender = e.from % 3 == 0 ? kAgent : kStranger + (e.from % 3 - 1u);
            if (act.what == Act::Reported) act.reports = {aReport(e, e.outcome, peer)};
        }
        step = act.to(exchange, asked);
        const std::string shown = exchange.shown();
        static const char* const what[] = {"ask", "sent", "send failed", "", "a report", "nothing", "receive failed"};
        RC_LOG() << "+" << e.us << " us: " << (act.datagram ? act.datagram->what : what[act.what]) << " from "
                 << dotted(act.sender) << ", " << act.reports.size() << " reports: " << said(step) << "\n";
        r.acts.push_back(act);
        r.decided.push_back(said(step) + shown);

        // What the event drew, as the rules read it: reports heard, a hundred
        // an attempt; the first about the request, and the first that says
        // that nothing listens; datagrams from the device and from others.
        r.sent = r.sent || act.what == Act::Sent;
        for (const net::Report& report : act.reports) {
            if (r.heard == kReportsHeard) break;
            ++r.heard;
            const bool about = r.sent && report.destination == peer.address && report.port == peer.port;
            if (about && !r.about) r.about = report;
            if (about && report.kind == net::Report::PortUnreachable && !answerer && !peer.broadcast && !r.nobody &&
                (report.sender == 0 || report.sender == kAgent)) {
                r.nobody = report;
            }
        }
        const bool device =
            act.datagram && (peer.broadcast ? !answerer || act.sender == *answerer : act.sender == kAgent);
        const bool answers = device && act.datagram->line.empty();
        if (act.datagram && !device && !r.stranger) r.stranger = act.sender;
        r.fromDevice = r.fromDevice || device;
        r.drawing = r.drawing || (device && !answers);
        if (step.next == Exchange::Next::Take && !answerer) answerer = act.sender;
        // An attempt ended: the next one's sending line, or the end of the request.
        const bool next = shown.find("\nSending GETNEXT: ") != std::string::npos;
        if (next || step.next == Exchange::Next::End) {
            r.attemptsDrawing += r.drawing;
            r.attempts += next;
            r.heard = 0;
            r.drawing = r.started = false;
        }
        const bool waits = step.next == Exchange::Next::Wait;
        switch (rule) {
            case Rule::Attempts:
                RC_ASSERT(r.attempts <= kAttempts);
                RC_ASSERT(step.next != Exchange::Next::End || r.attempts == kAttempts);
                break;
            case Rule::Deadline: {
                // The time runs from the attempt's first send, whether it went out or failed.
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(r.start + 1s - act.now).count();
                RC_ASSERT(!waits || (r.started && left > 0 && step.waitMs >= 0 && step.restMs >= 0 &&
                                     step.waitMs + step.restMs <= left));
                break;
            }
            case Rule::NoSpin: {
                // From here, sends that fail and waits that end with nothing,
                // all at this instant, soon come to a step that lets time pass.
                Exchange quiet = exchange;
                Exchange::Step then = step;
                const auto timeless = [&then] {
                    return then.next == Exchange::Next::Send ||
                           (then.next == Exchange::Next::Wait && then.waitMs + then.restMs == 0);
                };
                for (int i = 0; timeless(); ++i) {
                    RC_ASSERT(i <= 2 * kAttempts);
                    then = then.next == Exchange::Next::Send ? quiet.sendFailed(EHOSTUNREACH, {}, act.now)
                                                             : quiet.received(datagramOf(Received::TimedOut), act.now);
                }
                break;
            }
            case Rule::Taken: RC_ASSERT(answers == (step.next == Exchange::Next::Take)); break;
            case Rule::Reports:
                RC_ASSERT(!(waits || step.next == Exchange::Next::Send) || step.hears == kReportsHeard - r.heard);
                break;
            case Rule::Ending:
            case Rule::Fresh: break;
        }
        if (step.next != Exchange::Next::End) continue;
        const Ending ending = exchange.ending();
        if (rule == Rule::Ending) {
            // Set aside when every attempt drew a datagram set aside from the
            // device; else silence, with the report and the other host named.
            RC_ASSERT((ending.end == WalkEnd::SetAside) == (r.attemptsDrawing == kAttempts));
            const auto named = ending.end == WalkEnd::NoReply && r.nobody ? r.nobody : r.about;
            const auto& report = ending.silence.report;
            RC_ASSERT(report.has_value() == (ending.end == WalkEnd::NoReply && named.has_value()));
            // (RC_ASSERT does not cut || short: the test goes outside it.)
            const bool same = !report || (report->kind == named->kind && report->sender == named->sender &&
                                          report->destination == named->destination && report->port == named->port);
            RC_ASSERT(same);
            const bool stranger = ending.end == WalkEnd::NoReply && !r.fromDevice;
            RC_ASSERT(ending.silence.stranger == (stranger ? r.stranger : std::nullopt));
        }
        if (rule == Rule::Fresh && answeredBefore) {
            // A new exchange told of one answer from the same device, then of
            // this request, decides the same at every step, and ends the same.
            Exchange fresh(peer, 1000, true);
            fresh.ask(asked);
            fresh.sent(r.acts.front().now);
            const Act answer{Act::Came, r.acts.front().now, 0, {}, &kDatagrams[0], *answeredBefore};
            RC_ASSERT(answer.to(fresh, asked).next == Exchange::Next::Take);
            fresh.shown();
            for (std::size_t i = 0; i < r.acts.size(); ++i) {
                const std::string again = said(r.acts[i].to(fresh, asked));
                RC_ASSERT(again + fresh.shown() == r.decided[i]);
            }
            RC_ASSERT(printed(fresh.ending()) == printed(ending));
        }
    }
}

// Each rule holds at one device's address and at a broadcast address.
#define HOLDS(name, rule)                                                                               \
    RC_GTEST_PROP(ExchangeOverAnyWalk, name, ()) {                                                      \
        const bool broadcast = *rc::gen::weightedElement<bool>({{3, false}, {1, true}});                \
        walk(broadcast ? kBroadcast : kDevice, *rc::gen::container<std::vector<Drawn>>(drawn()), Rule::rule); \
    }
HOLDS(ARequestEndsAfterThreeAttemptsAtMost, Attempts)
HOLDS(NoWaitGoesPastTheAttemptsDeadline, Deadline)
HOLDS(NothingSpinsAtOneInstant, NoSpin)
HOLDS(OnlyAnAnswerFromTheDeviceIsTaken, Taken)
HOLDS(AnAttemptHearsAHundredReportsAtMost, Reports)
HOLDS(TheEndingNamesWhatCame, Ending)
HOLDS(NothingOfOneRequestColoursTheNext, Fresh)
#endif

}  // namespace
