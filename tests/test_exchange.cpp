#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/messages.h"
#include "tests/runner.h"
#include "walker/exchange.h"

namespace {

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
const Event fromAThirdHost = datagram(makeTrap(), kStranger + 1);
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

TEST(Exchange, WhatADatagramMeans) {
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
        "ERROR: Datagrams came only from 127.0.0.2, not from the device's address, and were set aside\n";
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
        Peer peer = kDevice;
    } rows[] = {
        {"an answer", {sent, answer}, "wait 1000, take"},
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
        // An attempt that drew nothing from the device is silence.
        {"a silent attempt", {attempt({trap}), attempt(), attempt({trap})}, "", kNoReply},
        {"an attempt that drew only another host's", {attempt({trap}), attempt({fromAnotherHost}), attempt({trap})},
         "", kNoReply},
        // Datagrams set aside neither stretch an attempt nor start its wait over.
        {"a datagram set aside late in the attempt", {sent, later(900), trap, nothingCame},
         "wait 1000, wait 100, send"},
        // Refused sends that waited out their attempts: what came still counts.
        {"refused after a send went out", {attempt({trap}), refused, trap, nothingCame, refused, trap, nothingCame},
         "wait 1000, wait 1000, send, wait 1000, wait 1000, send, wait 1000, wait 1000, end", trapLine},
        // With nothing sent yet, a refused send ends its attempt at once; once
        // a send has gone out, a link that went down may come back.
        {"refused from the start", {refused, refused, refused}, "send, send, end", refusal + kNoReply},
        {"refused after an answer", {sent, answer, nextRequest, refused}, "wait 1000, take, send, wait 1000"},
        // A report read already can leave its error pending, which fails one
        // send: a send refused once goes again at once.
        {"refused once", {sent, nothingCame, refusedOnce, sent, answer}, "wait 1000, send, send, wait 1000, take"},
        // Refusals are named, before the datagrams from other hosts; the
        // first other host is named; the report comes first of all.
        {"refusals and other hosts", {attempt({fromAnotherHost}), attempt({fromAThirdHost}), refused, nothingCame}, "",
         refusal + strangers + kNoReply},
        {"other hosts", {attempt({fromAnotherHost, fromAThirdHost}), attempt(), attempt()}, "", strangers + kNoReply},
        {"all of it", {attempt({fromAnotherHost, hostUnreachable}), refused, nothingCame, attempt()}, "",
         routers + refusal + strangers + kNoReply},
        // A report is no datagram set aside.
        {"reports among datagrams set aside", {attempt({trap, hostUnreachable}), attempt({hostUnreachable}),
                                                attempt({trap})}, "", routers + kNoReply},
        // Each request starts from nothing: what the one before drew before
        // its answer names nothing.
        {"a Trap, then the answer; then a Trap, a Trap, silence",
         {sent, trap, answer, nextRequest, attempt({trap}), attempt({trap}), attempt()}, "", kNoReply},
        {"a Trap, then the answer; then another request-id three times",
         {sent, trap, answer, nextRequest, attempt({otherId}), attempt({otherId}), attempt({otherId})}, "",
         otherIdLine},
        {"a report, another host and a refusal, then the answer; then silence",
         {sent, hostUnreachable, fromAnotherHost, nothingCame, refused, answer, nextRequest, attempt(), attempt(),
          attempt()}, "", kNoReply},
        // Before any answer, the device's port unreachable ends the attempt
        // once what already waits is read, and an answer among it is taken.
        {"nothing listens", {sent, portClosed, nothingCame, sent, portClosed, nothingCame, sent, portClosed, nothingCame},
         "wait 1000, wait 0, send, wait 1000, wait 0, send, wait 1000, wait 0, end", nobody + kNoReply},
        {"an answer read after the report", {sent, portClosed, answer}, "wait 1000, wait 0, take"},
        // The device's own word outranks a report that came before it.
        {"a router's report, then nothing listens", {sent, hostUnreachable, portClosed, nothingCame, attempt(), attempt()},
         "", nobody + kNoReply},
        // A send that reports failed is no attempt and no refused send: it
        // goes again at once, and each report is heard for what it is, but
        // ends no attempt.
        {"a send failed by a report", {attempt(), failedBy(kRouterHostUnreachable), attempt(), attempt()},
         "wait 1000, send, send, wait 1000, send, wait 1000, end", routers + kNoReply},
        {"nothing listens, heard at a failed send", {attempt(), failedBy(kPortClosed), attempt(), attempt()},
         "wait 1000, send, send, wait 1000, send, wait 1000, end", nobody + kNoReply},
        // Reports left from the request before, which was answered, are not heeded.
        {"reports left from the request before", {sent, answer, nextRequest, failedBy(kRouterHostUnreachable),
                                                  attempt(), attempt(), attempt()},
         "wait 1000, take, send, send, " + silence, kNoReply},
        // Under a flood that fails every send, the attempt's time still runs out.
        {"sends failed until the time runs out",
         {failedBy(kRouterHostUnreachable), later(1000), failedBy(kRouterHostUnreachable),
          failedBy(kRouterHostUnreachable), later(1000), failedBy(kRouterHostUnreachable),
          failedBy(kRouterHostUnreachable), later(1000), failedBy(kRouterHostUnreachable)},
         "send, send, send, send, send, end", kNoReply},
        // A hundred reports in one attempt are a flood: it hears no more, and
        // goes on; the next attempt hears them again, and counts from 0.
        {"a flood of reports", {sent, report(kRouterHostUnreachable, 100), nothingCame, sent},
         "wait 1000, wait 1000 (reports off), send, wait 1000"},
        {"99 reports in an attempt, 1 in the next", {sent, report(kRouterHostUnreachable, 99), nothingCame, sent,
                                                      hostUnreachable},
         "wait 1000, wait 1000, send, wait 1000, wait 1000"},
        {"a flood of reports at a failed send", {attempt(), failedBy(kRouterHostUnreachable, 100), sent, nothingCame},
         "wait 1000, send, send (reports off), wait 1000 (reports off), send"},
        // A receive that fails for no reason the system gave rests a moment,
        // and the wait goes on to its deadline.
        {"a failed receive", {sent, later(200), receiveFailed, answer}, "wait 1000, rest 100 wait 700, take"},
        {"a failed receive at the deadline", {sent, later(1000), receiveFailed}, "wait 1000, send"},
        // Asked at a broadcast address, the first device to answer is the one.
        {"a broadcast answered", {sent, answer, nextRequest, sent, datagram(kNext, kStranger), nothingCame, attempt(),
                                  attempt()},
         "", strangers + kNoReply, kBroadcast},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Told story = tell(row.events, row.peer);
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
        {{sent, nothingCame, refused},
         "sent\nReceiving response...completed..." + sending + "failed: " + net::errorText(EHOSTUNREACH) +
             "\nReceiving response..."},
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

}  // namespace
