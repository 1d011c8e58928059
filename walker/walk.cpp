#include "walker/walk.h"

#include <chrono>
#include <memory>

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
};

// How an exchange (up to three attempts for one OID) ended.
enum class Outcome { Reply, NoReply, Interrupted, OutputFailed };

// Milliseconds from now to the deadline, rounded up, so that a wait never ends
// before it; 0 once the deadline has passed.
std::int32_t millisecondsUntil(Clock::time_point deadline) {
    const auto now = Clock::now();
    if (deadline <= now) return 0;
    return static_cast<std::int32_t>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
}

// Waits to the deadline for a datagram that answers the request; anything
// else is set aside, and the wait goes on for the rest of the time.
Outcome await(Walk& w, Clock::time_point deadline, Exchange& result) {
    bool setAsideHere = false;
    for (std::int32_t left = millisecondsUntil(deadline); left > 0; left = millisecondsUntil(deadline)) {
        Datagram datagram = w.transport.receiveMessage(left);
        if (datagram.what == Received::Interrupted) return Outcome::Interrupted;
        if (datagram.what == Received::TimedOut || datagram.what == Received::Failed) break;
        Verdict verdict = consider(datagram, w.transport, *w.asked);
        if (verdict.kind == Verdict::Answers) {
            // Only an answer says which device a broadcast reached.
            w.transport.answeredBy(datagram.sender);
            result.reply = std::move(datagram.message);
            return Outcome::Reply;
        }
        if (w.settings.debugMode) w.out.put("ignored " + verdict.what + "...");
        if (verdict.kind == Verdict::Stranger) {
            if (result.stranger == 0) result.stranger = datagram.sender;
            continue;
        }
        result.setAside = std::move(verdict);
        setAsideHere = true;
    }
    if (setAsideHere) ++result.setAsideAttempts;
    return Outcome::NoReply;
}

// Sends the request up to three times and waits for an answer after each send.
Outcome exchange(Walk& w, Exchange& result) {
    const bool debug = w.settings.debugMode;
    for (int tries = 0; tries < kAttempts; ++tries) {
        if (net::interruption() != 0) return Outcome::Interrupted;
        // Rows received go out before the walk waits for the device; to an
        // output that fails, nothing more is sent.
        if (!w.out.flush()) return Outcome::OutputFailed;
        if (debug) w.out.put(std::string("\nSending GETNEXT: ") + w.asked->toString() + "...");
        const auto deadline = Clock::now() + std::chrono::milliseconds(w.settings.timeoutMs);
        if (w.transport.send(w.request) == 0) {
            // Nothing went out, so there is nothing to wait for.
            ++result.refusedSends;
            result.sendError = w.transport.lastError();
            if (debug) w.out.put("failed: " + net::errorText(result.sendError) + "\n");
            continue;
        }
        if (debug) {
            w.out.put("sent\nReceiving response...");
            if (!w.out.flush()) return Outcome::OutputFailed;
        }
        const Outcome outcome = await(w, deadline, result);
        if (debug) w.out.put("completed...");
        if (outcome != Outcome::NoReply) return outcome;
    }
    return Outcome::NoReply;
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

WalkEnd walk(const WalkSettings& settings, Output& out) {
    const Column& column = settings.useOldOids ? kOldAt : kNetToMedia;
    SnmpMessage request(pdutags::kGetNextRequest, 0);
    SnmpOid* currentOid = prepareRequest(request, settings.community, column.oid);
    // What was printed goes out before the name is looked up, which a
    // request to stop cuts short by ending the program.
    if (!out.flush()) return WalkEnd::OutputFailed;
    SnmpTransport transport(settings.port, settings.agent.c_str());
    if (!transport.ready()) {
        // Nothing can be sent: the cause, then the line that callers look for.
        out.put("ERROR: " + transport.problem() + "\n");
        return noReply(Exchange(), out);
    }
    Walk w{settings, out, transport, request, currentOid};
    for (;;) {
        Exchange result;
        const Outcome outcome = exchange(w, result);
        if (outcome == Outcome::Interrupted) return WalkEnd::Interrupted;
        if (outcome == Outcome::OutputFailed) return WalkEnd::OutputFailed;
        if (outcome == Outcome::NoReply) return noReply(result, out);
        Row row;
        if (const auto end = judge(*result.reply, column, settings.debugMode, out, row)) return *end;
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

WalkEnd walkArpTable(const WalkSettings& settings, Output& out) {
    const WalkEnd end = walk(settings, out);
    // Everything received goes out as the walk ends, however it ended. A
    // request to stop stays the reason when a write then fails, as it does
    // when the reader goes away after the request.
    const bool written = out.flush();
    if ((!written || end == WalkEnd::OutputFailed) && net::interruption() != 0) return WalkEnd::Interrupted;
    return written ? end : WalkEnd::OutputFailed;
}
