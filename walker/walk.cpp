#include "walker/walk.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "snmp/message.h"
#include "transport/sockets.h"
#include "transport/transport.h"
#include "walker/row.h"
#include "walker/verdict.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the walk's steps share. The request's one binding names asked.
struct Walk {
    const WalkSettings& settings;
    Output& out;
    SnmpTransport& transport;
    SnmpMessage& request;
    SnmpOid* asked;
    bool sentAny = false;   // whether any send of the walk has gone out
    bool answered = false;  // whether any datagram has answered a request
};

// How long a wait rests after a receive that failed for no reason the
// system reported, before it looks again: a failure that repeats at once
// must not spin.
constexpr auto kRestAfterFailure = std::chrono::milliseconds(100);

// Milliseconds from now to the deadline, rounded up, so that a wait never ends
// before it; 0 once the deadline has passed.
std::int32_t millisecondsUntil(Clock::time_point deadline) {
    const auto now = Clock::now();
    if (deadline <= now) return 0;
    return static_cast<std::int32_t>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
}

// What a datagram or a report means for the request, tallied and, in debug
// mode, shown. True when it ends the attempt: an answer, which goes to
// reply, or a device where nothing listens.
bool heed(Walk& w, Datagram& datagram, Tally& tally, std::unique_ptr<SnmpMessage>& reply) {
    Verdict verdict = consider(datagram, w.transport, *w.asked, w.answered);
    switch (verdict.kind) {
        case Verdict::Answers:
            // Only an answer says which device a broadcast reached.
            w.transport.answeredBy(datagram.sender);
            w.answered = true;
            reply = std::move(datagram.message);
            return true;
        case Verdict::NothingListens:
        case Verdict::Reported:
            if (w.settings.debugMode) w.out.put(verdict.what + "...");
            tally.report(datagram.report);
            return verdict.kind == Verdict::NothingListens;
        case Verdict::Stranger:
        case Verdict::SetAside:
            if (w.settings.debugMode) w.out.put("ignored " + verdict.what + "...");
            if (verdict.kind == Verdict::Stranger) tally.stranger(datagram.sender);
            else tally.setAside(verdict.aside);
            return false;
    }
    return false;
}

// Waits to the deadline for a datagram that answers the request, which goes
// to reply; anything else is set aside and tallied, and the wait goes on for
// the rest of the time, unless the device said that nothing listens. False
// when a request to stop came.
bool await(Walk& w, Clock::time_point deadline, Tally& tally, std::unique_ptr<SnmpMessage>& reply) {
    for (std::int32_t left = millisecondsUntil(deadline); left > 0; left = millisecondsUntil(deadline)) {
        Datagram datagram = w.transport.receiveDatagram(left);
        if (datagram.what == Received::Interrupted) return false;
        if (datagram.what == Received::TimedOut) break;
        if (datagram.what == Received::Failed) {
            std::this_thread::sleep_for(std::min<Clock::duration>(kRestAfterFailure, deadline - Clock::now()));
            continue;
        }
        if (heed(w, datagram, tally, reply)) return true;
    }
    return true;
}

// What the reports that waited came to: whether there were any, and whether
// one said that nothing listens.
struct Reports {
    bool taken = false;
    bool nothingListens = false;
};

// Takes the reports that wait, which would fail the next send; those about a
// send of this request are heeded, those about the request before, which was
// answered, are out of date.
Reports takeReports(Walk& w, Tally& tally, bool ofThisRequest) {
    Reports reports;
    for (std::optional<net::Report> taken = w.transport.pendingReport(); taken; taken = w.transport.pendingReport()) {
        reports.taken = true;
        Datagram report;
        report.what = Received::Report;
        report.report = *taken;
        std::unique_ptr<SnmpMessage> none;
        if (ofThisRequest && heed(w, report, tally, none)) reports.nothingListens = true;
    }
    return reports;
}

// Sends the request up to three times and waits for an answer after each
// send. The answer goes to reply; without one, the walk ends.
std::optional<Ending> exchange(Walk& w, std::unique_ptr<SnmpMessage>& reply) {
    const bool debug = w.settings.debugMode;
    Tally tally;
    for (int tries = 0; tries < kAttempts; ++tries) {
        if (net::interruption() != 0) return Ending(WalkEnd::Interrupted);
        // Rows received go out before the walk waits for the device; to an
        // output that fails, nothing more is sent.
        if (!w.out.flush()) return Ending(WalkEnd::OutputFailed);
        takeReports(w, tally, tries > 0);
        if (debug) w.out.put(std::string("\nSending GETNEXT: ") + w.asked->toString() + "...");
        const auto deadline = Clock::now() + std::chrono::milliseconds(w.settings.timeoutMs);
        const bool sent = w.transport.send(w.request) != 0;
        const int sendError = w.transport.lastError();
        // A send that fails with a report that came just before it is no
        // refused send: what counts is the report.
        const Reports failedWith = sent ? Reports() : takeReports(w, tally, true);
        const bool refused = !sent && !failedWith.taken;
        tally.attempt(refused, refused ? sendError : 0);
        if (sent) {
            w.sentAny = true;
            if (debug) w.out.put("sent\n");
        } else {
            if (debug) w.out.put("failed: " + net::errorText(sendError) + "\n");
            // With no route from the start there is nothing to wait for; once
            // a send has gone out, a link that went down may come back, and
            // an answer to an earlier send may still come: the attempt waits.
            if (!w.sentAny) continue;
        }
        if (failedWith.nothingListens) continue;
        if (debug) {
            w.out.put("Receiving response...");
            if (!w.out.flush()) return Ending(WalkEnd::OutputFailed);
        }
        if (!await(w, deadline, tally, reply)) return Ending(WalkEnd::Interrupted);
        if (debug) w.out.put("completed...");
        if (reply != nullptr) return std::nullopt;
    }
    return tally.ending();
}

// The request of the whole walk, its binding named oid; the request owns
// both, or, when memory runs out on the way, nothing is left behind.
SnmpOid* prepareRequest(SnmpMessage& request, const std::string& community, const char* oid) {
    request.setCommunity(community.c_str());
    request.setRequestId(kRequestId);
    auto binding = makeVarbind(std::make_unique<SnmpOid>(oid), nullptr);
    SnmpOid* name = binding->name();
    request.addVarbind(binding.release());
    return name;
}

// The next request names the OID of the row just printed, made from its text.
void moveOn(Walk& w, const char* oid) {
    auto* next = new SnmpOid(oid);
    w.request.varbindList()->head()->setName(next);
    delete w.asked;
    w.asked = next;
}

Ending walk(const WalkSettings& settings, Output& out) {
    const Column& column = settings.useOldOids ? kOldAt : kNetToMedia;
    SnmpMessage request(pdutags::kGetNextRequest, 0);
    SnmpOid* currentOid = prepareRequest(request, settings.community, column.oid);
    // What was printed goes out before the name is looked up, which a
    // request to stop cuts short by ending the program.
    if (!out.flush()) return Ending(WalkEnd::OutputFailed);
    SnmpTransport transport(settings.port, settings.agent.c_str());
    // Nothing can be sent: the cause, then the line that callers look for.
    if (!transport.ready()) {
        Ending unreachable(WalkEnd::NoReply);
        unreachable.silence.unready = transport.unready();
        unreachable.silence.agent = settings.agent;
        return unreachable;
    }
    Walk w{settings, out, transport, request, currentOid};
    for (;;) {
        std::unique_ptr<SnmpMessage> reply;
        if (auto end = exchange(w, reply)) return *end;
        Row row;
        if (auto end = judge(*reply, column, settings.debugMode, out, row)) return *end;
        printRow(out, row);
        moveOn(w, row.oid);
    }
}

}  // namespace

bool repliesFit(const std::string& community, bool useOldOids) {
    // The reply that shows a row whose index numbers each take 32 bits, with
    // a six-byte MAC address; its request is shorter.
    const Column& column = useOldOids ? kOldAt : kNetToMedia;
    std::string oid = column.oid;
    for (std::size_t i = 0; i < column.numbers; ++i) oid += ".4294967295";
    SnmpMessage reply(pdutags::kGetResponse, 0);
    reply.setCommunity(community.c_str());
    const std::uint8_t mac[6] = {};
    reply.addVarbind(
        makeVarbind(std::make_unique<SnmpOid>(oid.c_str()), std::make_unique<SnmpOctetString>(mac, sizeof mac))
            .release());
    return static_cast<std::size_t>(reply.encodedLength()) <= limits::kReceiveBuffer;
}

Ending walkArpTable(const WalkSettings& settings, Output& out) { return walk(settings, out); }
