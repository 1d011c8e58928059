#include "walker/walk.h"

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
    Attempts attempts;
};

// Shows, in debug mode, what the owner of the attempts made of what happened.
Attempts::Step told(Walk& w, Attempts::Step step) {
    if (w.settings.debugMode) w.out.put(w.attempts.shown());
    return step;
}

// Sends the request. A send can fail because reports of the network's
// waited: they are taken, as long as the owner of the attempts would send
// again (a flood of them it stops), and what the send came to is told.
Attempts::Step send(Walk& w) {
    if (w.transport.send(w.request) != 0) return told(w, w.attempts.sent(Clock::now()));
    const int error = w.transport.lastError();
    bool taken = false;
    Attempts::Step step{Attempts::Next::Resend};
    while (step.next == Attempts::Next::Resend) {
        const std::optional<net::Report> report = w.transport.pendingReport();
        if (!report) break;
        taken = true;
        step = told(w, w.attempts.heard(*report, Clock::now()));
    }
    if (step.next != Attempts::Next::Resend) return step;
    return told(w, taken ? w.attempts.blocked(Clock::now()) : w.attempts.refused(error, Clock::now()));
}

// Waits at most step's time for a datagram; step becomes what follows, and
// an answer goes to reply. False when a request to stop came.
bool receive(Walk& w, Attempts::Step& step, std::unique_ptr<SnmpMessage>& reply) {
    Datagram datagram = w.transport.receiveDatagram(step.ms);
    const auto now = Clock::now();
    switch (datagram.what) {
        case Received::Interrupted: return false;
        case Received::TimedOut: step = told(w, w.attempts.timedOut()); break;
        case Received::Failed: step = told(w, w.attempts.failed(now)); break;
        default:
            step = told(w, w.attempts.heard(datagram, now));
            if (step.next == Attempts::Next::Take) reply = std::move(datagram.message);
    }
    return true;
}

// Sends the request and waits for its answer, as the owner of its attempts
// says. The answer goes to reply; without one, the walk ends.
std::optional<Ending> exchange(Walk& w, std::unique_ptr<SnmpMessage>& reply) {
    using Next = Attempts::Next;
    for (Attempts::Step step = told(w, w.attempts.ask(*w.asked));;) {
        switch (step.next) {
            case Next::Send:
                // Rows received go out before the walk waits for the device;
                // to an output that fails, nothing more is sent.
                if (!w.out.flush()) return Ending::outputFailed(w.out.error());
                [[fallthrough]];
            case Next::Resend:
                if (const int signal = net::interruption()) return Ending::interrupted(signal);
                step = send(w);
                break;
            case Next::Wait:
                if (w.settings.debugMode && !w.out.flush()) return Ending::outputFailed(w.out.error());
                if (!receive(w, step, reply)) return Ending::interrupted(net::interruption());
                break;
            case Next::Deafen:
                w.transport.hearReports(false);
                step = told(w, w.attempts.deafened(Clock::now()));
                break;
            case Next::Rest:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
                step = told(w, w.attempts.rested(Clock::now()));
                break;
            case Next::Take: return std::nullopt;
            case Next::End: return w.attempts.ending();
        }
    }
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
    if (!out.flush()) return Ending::outputFailed(out.error());
    SnmpTransport transport(settings.port, settings.agent.c_str());
    // Nothing can be sent: the cause, then the line that callers look for.
    if (!transport.ready()) {
        Silence nothingSent;
        nothingSent.unready = transport.unready();
        nothingSent.agent = settings.agent;
        return Ending(std::move(nothingSent));
    }
    Walk w{settings, out, transport, request, currentOid, Attempts(transport, settings.timeoutMs, settings.debugMode)};
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
