#include "walker/verdict.h"

#include <algorithm>
#include <utility>

// What a datagram or a report means for the request; in debug mode, what it was;
// for one set aside, why, with what the line takes when every attempt draws such.
struct Attempts::Verdict {
    enum Kind { Answers, Stranger, SetAside, Unrelated, NothingListens, Reported };
    Kind kind;
    std::string what;
    Aside aside;
};

Attempts::Attempts(SnmpTransport& transport, std::int32_t attemptMs, bool debug)
    : transport_(transport), attemptTime_(attemptMs), debug_(debug) {}

Attempts::Verdict Attempts::consider(const Datagram& datagram) const {
    // Shown as the ending's line names its kind, with what this one held.
    const auto setAside = [this](AsideReason reason, const std::string& held = {}, std::uint8_t pduType = 0) {
        const AsideKind kind{reason, pduType};
        if (!debug_) return Verdict{Verdict::SetAside, {}, {kind, {}, {}}};
        const std::string what = "ignored " + asideName(kind) + (held.empty() ? "" : ": " + held) + "...";
        return Verdict{Verdict::SetAside, what, {kind, {}, {}}};
    };
    if (!transport_.fromAgent(datagram.sender)) {
        return {Verdict::Stranger, debug_ ? "ignored a datagram from " + dotted(datagram.sender) + "..." : "", {}};
    }
    if (datagram.what == Received::TooLong) return setAside(AsideReason::TooLong);
    if (datagram.what != Received::Message) return setAside(AsideReason::Unreadable);
    SnmpMessage& reply = *datagram.message;
    if (reply.pduType() != pdutags::kGetResponse) return setAside(AsideReason::NotAResponse, {}, reply.pduType());
    if (reply.requestId() != kRequestId) {
        return setAside(AsideReason::OtherRequestId, std::to_string(reply.requestId()));
    }
    const SnmpVarbind* head = reply.varbindList()->head();
    if (head == nullptr || head->name() == nullptr) return setAside(AsideReason::NoBinding);
    // An error reply, or an exception in place of the value, names the OID
    // asked: endOfMibView does (RFC 3416, 4.2.2). Naming an earlier one, it
    // is a late copy of an earlier answer, like any other reply.
    const int order = compareOids(*head->name(), *asked_);
    const bool ending = reply.errorStatus() != 0 || exceptionName(head->value()) != nullptr;
    if (order > 0 || (order == 0 && ending)) return {Verdict::Answers, {}, {}};
    const std::string name = head->name()->toString();
    Verdict verdict = setAside(AsideReason::NotFollowing, name);
    verdict.aside.asked = asked_->toString();
    verdict.aside.answered = name;
    return verdict;
}

Attempts::Verdict Attempts::consider(const net::Report& report) const {
    // Before a send of this request went out, a report is about an earlier
    // one, or about nothing the walk sent; so is one that quotes a datagram
    // to another address or port.
    const bool about = sentThis_ && transport_.quotesThePeer(report);
    // A device that has never answered and says that its port is closed will
    // not answer a second send either; one that has answered is restarting.
    const bool theDevice = report.sender == 0 || transport_.fromAgent(report.sender);
    const bool port = report.kind == net::Report::PortUnreachable;
    const bool nobody = port && !answered_ && !transport_.broadcast() && theDevice;
    Verdict verdict{!about ? Verdict::Unrelated : nobody ? Verdict::NothingListens : Verdict::Reported, {}, {}};
    if (!debug_) return verdict;
    const std::string from = "a report from " + (report.sender != 0 ? dotted(report.sender) : "the network");
    const std::string of = sentThis_ ? dotted(report.destination) + " port " + std::to_string(report.port)
                                     : "an earlier request";
    verdict.what = (about ? from : "ignored " + from + " about " + of) + ": " + icmpName(report) + "...";
    return verdict;
}

Attempts::Step Attempts::ask(SnmpOid& asked) {
    asked_ = &asked;
    sentThis_ = waiting_ = false;
    attempts_ = drewAttempts_ = 0;
    silence_.report.reset();
    silence_.refused.reset();
    silence_.stranger.reset();
    rejected_.kinds.clear();
    return endAttempt();
}

void Attempts::start(Clock::time_point now) {
    if (!deadline_) deadline_ = now + attemptTime_;
}

Attempts::Step Attempts::sent(Clock::time_point now) {
    start(now);
    sentAny_ = sentThis_ = waiting_ = true;
    if (debug_) shown_ += "sent\nReceiving response...";
    return waitOn(now);
}

Attempts::Step Attempts::refused(int error, Clock::time_point now) {
    start(now);
    silence_.refused = error;
    if (debug_) shown_ += "failed: " + net::errorText(error) + "\n";
    // With no route from the start there is nothing to wait for; once a send
    // has gone out, a link that went down may come back, and an answer to an
    // earlier send may still come: the attempt waits.
    if (!sentAny_) return endAttempt();
    waiting_ = true;
    if (debug_) shown_ += "Receiving response...";
    return waitOn(now);
}

Attempts::Step Attempts::blocked(Clock::time_point now) {
    // The reports were heeded as they were heard; the request goes again,
    // until the attempt's time runs out under a flood of them.
    start(now);
    return now < *deadline_ ? Step{Next::Resend} : endAttempt();
}

Attempts::Step Attempts::heard(const Datagram& datagram, Clock::time_point now) {
    if (datagram.what == Received::Report) return heard(datagram.report, now);
    const Verdict verdict = consider(datagram);
    switch (verdict.kind) {
        case Verdict::Answers:
            // Only an answer says which device a broadcast reached.
            transport_.answeredBy(datagram.sender);
            answered_ = true;
            waiting_ = false;
            if (debug_) shown_ += "completed...";
            return {Next::Take};
        case Verdict::Stranger:
            if (!silence_.stranger) silence_.stranger = datagram.sender;
            break;
        default:  // set aside: each kind once, in the order they came
            if (!std::exchange(drewThis_, true)) ++drewAttempts_;
            auto& kinds = rejected_.kinds;
            if (std::count(kinds.begin(), kinds.end(), verdict.aside.kind) == 0) kinds.push_back(verdict.aside.kind);
            rejected_.latest = verdict.aside;
    }
    shown_ += verdict.what;  // empty but in debug mode
    return waitOn(now);
}

Attempts::Step Attempts::heard(const net::Report& report, Clock::time_point now) {
    const Verdict verdict = consider(report);
    shown_ += verdict.what;
    if (verdict.kind != Verdict::Unrelated && !silence_.report) silence_.report = report;
    // Only a wait is cut short, and the datagrams already waiting are read first.
    if (verdict.kind == Verdict::NothingListens && waiting_) draining_ = true;
    if (++reports_ == kReportsHeard) {
        if (debug_) shown_ += "too many reports: no more are heard...";
        return {Next::Deafen};
    }
    // A report taken after a failed send: the send goes again.
    return waiting_ ? waitOn(now) : Step{Next::Resend};
}

Attempts::Step Attempts::waitOn(Clock::time_point now) {
    if (now >= *deadline_) return endAttempt();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - now).count();
    return {Next::Wait, draining_ ? 0 : static_cast<std::int32_t>(left)};
}

Attempts::Step Attempts::timedOut() { return endAttempt(); }

Attempts::Step Attempts::failed(Clock::time_point now) {
    // A failure that repeats at once must not spin: the wait rests a moment,
    // then goes on to its deadline.
    Step step = waitOn(now);
    if (step.next == Next::Wait) step = {Next::Rest, std::min(step.ms, 100)};
    return step;
}

Attempts::Step Attempts::rested(Clock::time_point now) { return waitOn(now); }

Attempts::Step Attempts::deafened(Clock::time_point now) { return waiting_ ? waitOn(now) : blocked(now); }

Attempts::Step Attempts::endAttempt() {
    if (waiting_ && debug_) shown_ += "completed...";
    waiting_ = draining_ = false;
    deadline_.reset();
    reports_ = 0;
    if (attempts_ == kAttempts) return {Next::End};
    ++attempts_;
    drewThis_ = false;
    if (debug_) shown_ += std::string("\nSending GETNEXT: ") + asked_->toString() + "...";
    return {Next::Send};
}

Ending Attempts::ending() const {
    if (drewAttempts_ != 0 && drewAttempts_ == attempts_) return Ending(rejected_);
    Silence silence = silence_;
    // Datagrams from others are named only when nothing came from the device
    // itself: a multi-homed device answers from another of its addresses.
    if (drewAttempts_ != 0) silence.stranger.reset();
    return Ending(std::move(silence));
}
