#include "walker/exchange.h"

#include <algorithm>

#include "snmp/message.h"

Exchange::Exchange(const Peer& peer, std::int32_t attemptMs, bool debug)
    : peer_(peer), attemptTime_(attemptMs), debug_(debug) {}

bool Exchange::fromDevice(std::uint32_t address) const {
    return countsAsAgent(address, peer_.address, peer_.broadcast, answerer_);
}

bool Exchange::nothingListens(const net::Report& report) const {
    // A device that has never answered and says that its port is closed will
    // not answer a second send either; one that has answered is restarting.
    const bool theDevice = report.sender == 0 || fromDevice(report.sender);
    return report.kind == net::Report::PortUnreachable && !answerer_ && !peer_.broadcast && theDevice;
}

std::optional<Aside> Exchange::setAside(const Datagram& datagram) const {
    const auto aside = [](AsideReason reason, std::string answered = {}, std::uint8_t pduType = 0) {
        return Aside{{reason, pduType}, {}, std::move(answered)};
    };
    if (datagram.what == Received::TooLong) return aside(AsideReason::TooLong);
    if (datagram.what != Received::Message) return aside(AsideReason::Unreadable);
    SnmpMessage& reply = *datagram.message;
    if (reply.pduType() != pdutags::kGetResponse) return aside(AsideReason::NotAResponse, {}, reply.pduType());
    if (reply.requestId() != kRequestId) return aside(AsideReason::OtherRequestId, std::to_string(reply.requestId()));
    const SnmpVarbind* head = reply.varbindList()->head();
    if (head == nullptr || head->name() == nullptr) return aside(AsideReason::NoBinding);
    // An error reply, or an exception in place of the value, names the OID
    // asked: endOfMibView does (RFC 3416, 4.2.2). Naming an earlier one, it
    // is a late copy of an earlier answer, like any other reply.
    SnmpOid& asked = *request_.asked;
    const int order = compareOids(*head->name(), asked);
    const bool ending = reply.errorStatus() != 0 || exceptionName(head->value()) != nullptr;
    if (order > 0 || (order == 0 && ending)) return std::nullopt;
    return Aside{{AsideReason::NotFollowing}, asked.toString(), head->name()->toString()};
}

Exchange::Step Exchange::ask(SnmpOid& asked) {
    request_ = Request();
    request_.asked = &asked;
    return startAttempt();
}

Exchange::Step Exchange::sent(Clock::time_point now) {
    if (!attempt_.deadline) attempt_.deadline = now + attemptTime_;
    request_.sent = true;
    attempt_.phase = Phase::Waiting;
    if (debug_) shown_ += "sent\nReceiving response...";
    return waitOn(now);
}

Exchange::Step Exchange::sendFailed(int error, std::span<const net::Report> reports, Clock::time_point now) {
    if (!attempt_.deadline) attempt_.deadline = now + attemptTime_;
    if (!reports.empty()) {
        // The reports that waited failed the send: each is heard for what it
        // is, and the request goes again at once, until the attempt's time
        // runs out under a flood of them.
        for (const net::Report& report : reports) hear(report);
        return now < *attempt_.deadline ? step(Next::Send) : endAttempt();
    }
    // A host or network unreachable that a report left pending fails a send
    // with the same code as a real refusal (a flood comes between the two):
    // a refusal is one twice in a row.
    if (!std::exchange(attempt_.refusedOnce, true)) return step(Next::Send);
    request_.silence.refused = error;
    if (debug_) shown_ += "failed: " + systemError(error) + "\n";
    // Once a send has gone out, a link may come back, or an earlier answer:
    // the attempt waits. Before, the link may be down for a moment (coming
    // up, or its queue dropping all): the attempt pauses, then the next one
    // sends, and with no route at all the walk still ends in seconds.
    if (!request_.sent && !answerer_) {
        if (request_.attempts == kAttempts || now >= *attempt_.deadline) return endAttempt();
        return step(Next::Wait, std::min(kPauseMs, msLeft(now)));
    }
    attempt_.phase = Phase::Waiting;
    if (debug_) shown_ += "Receiving response...";
    return waitOn(now);
}

Exchange::Step Exchange::received(const Datagram& datagram, Clock::time_point now) {
    if (datagram.what == Received::Report) {
        hear(datagram.report);
        return waitOn(now);
    }
    if (datagram.what == Received::TimedOut || datagram.what == Received::Failed) {
        // A drain, or the pause after a refusal, is over.
        if (attempt_.phase != Phase::Waiting) return endAttempt();
        // A wait can end a little before the time asked for: it goes on for
        // what is left. One that failed rests a moment first: a failure that
        // repeats at once must not spin.
        const Step on = waitOn(now);
        const std::int32_t rest = datagram.what == Received::Failed ? std::min(on.waitMs, kRestMs) : 0;
        return on.next == Next::Wait ? step(Next::Wait, on.waitMs - rest, rest) : on;
    }
    if (!fromDevice(datagram.sender)) {
        if (!request_.silence.stranger) request_.silence.stranger = datagram.sender;
        if (debug_) shown_ += "ignored a datagram from " + dotted(datagram.sender) + "...";
        return waitOn(now);
    }
    const std::optional<Aside> set = setAside(datagram);
    if (!set) {
        if (!answerer_) answerer_ = datagram.sender;
        if (debug_) shown_ += "completed...";
        return step(Next::Take);
    }
    // Each kind once, in the order they came; shown as the ending's line
    // names its kind, with what this one held.
    if (!std::exchange(attempt_.drew, true)) ++request_.drewAttempts;
    std::vector<AsideKind>& kinds = request_.rejected.kinds;
    if (std::count(kinds.begin(), kinds.end(), set->kind) == 0) kinds.push_back(set->kind);
    request_.rejected.latest = *set;
    const std::string& held = set->answered;
    if (debug_) shown_ += "ignored " + asideName(set->kind) + (held.empty() ? "" : ": ") + held + "...";
    return waitOn(now);
}

void Exchange::hear(const net::Report& report) {
    // One that came as reports were turned off is not heard.
    if (attempt_.reports >= kReportsHeard) return;
    // Before a send of this request went out, a report is about an earlier
    // one, or about nothing the walk sent; so is one that quotes a datagram
    // to another address or port. One that the socket kept from an earlier
    // report is about nothing new, and not shown, but counts.
    const bool about =
        !report.spent && request_.sent && report.destination == peer_.address && report.port == peer_.port;
    const bool nobody = about && nothingListens(report);
    if (debug_ && !report.spent) {
        const std::string from = "a report from " + (report.sender != 0 ? dotted(report.sender) : "the network");
        const std::string of = request_.sent ? dotted(report.destination) + " port " + std::to_string(report.port)
                                             : "an earlier request";
        shown_ += (about ? from : "ignored " + from + " about " + of) + ": " + icmpName(report) + "...";
    }
    // The first report about the request is named, unless one that says
    // that nothing listens comes after it.
    std::optional<net::Report>& named = request_.silence.report;
    if (about && (!named || (nobody && !nothingListens(*named)))) named = report;
    // Only a wait is cut short, and the datagrams already waiting are read first.
    if (nobody && attempt_.phase == Phase::Waiting) attempt_.phase = Phase::Draining;
    if (++attempt_.reports == kReportsHeard && debug_) shown_ += "too many reports: no more are heard...";
}

Exchange::Step Exchange::waitOn(Clock::time_point now) {
    if (now >= *attempt_.deadline) return endAttempt();
    return step(Next::Wait, attempt_.phase == Phase::Waiting ? msLeft(now) : 0);
}

std::int32_t Exchange::msLeft(Clock::time_point now) const {
    return static_cast<std::int32_t>(std::chrono::ceil<std::chrono::milliseconds>(*attempt_.deadline - now).count());
}

Exchange::Step Exchange::endAttempt() {
    if (attempt_.phase != Phase::Sending && debug_) shown_ += "completed...";
    return startAttempt();
}

Exchange::Step Exchange::startAttempt() {
    attempt_ = Attempt{};
    if (request_.attempts == kAttempts) return step(Next::End);
    ++request_.attempts;
    if (debug_) shown_ += std::string("\nSending GETNEXT: ") + request_.asked->toString() + "...";
    return step(Next::Send);
}

Ending Exchange::ending() const {
    const Request& r = request_;
    if (r.drewAttempts != 0 && r.drewAttempts == r.attempts) return Ending(r.rejected);
    Silence silence = r.silence;
    // Datagrams from others are named only when nothing came from the device
    // itself: a multi-homed device answers from another of its addresses.
    if (r.drewAttempts != 0) silence.stranger.reset();
    return Ending(std::move(silence));
}
