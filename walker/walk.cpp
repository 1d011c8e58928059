#include "walker/walk.h"

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "snmp/message.h"
#include "transport/sockets.h"
#include "transport/transport.h"
#include "walker/row.h"
#include "walker/exchange.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the walk's steps share.
struct Walk {
    const WalkSettings& settings;
    Output& out;
    SnmpTransport& transport;
    SnmpMessage& request;
    Exchange exchange;
};

// Sends the request for the OID after asked and waits for its answer, as the
// exchange says, and tells it what came of each send and wait. The answer goes
// to reply; without one, the walk ends.
std::optional<Ending> answerTo(Walk& w, SnmpOid& asked, std::unique_ptr<SnmpMessage>& reply) {
    for (Exchange::Step step = w.exchange.ask(asked);;) {
        // In debug mode, what the exchange made of what happened.
        if (w.settings.debugMode) w.out.put(w.exchange.shown());
        w.transport.hearReports(step.hears > 0);
        if (step.next == Exchange::Next::Take) return std::nullopt;
        if (step.next == Exchange::Next::End) return w.exchange.ending();
        // Rows received go out before the walk waits for the device, and in
        // debug mode what it does; to an output that fails, nothing more is sent.
        const bool sending = step.next == Exchange::Next::Send;
        if ((sending || w.settings.debugMode) && !w.out.flush()) return Ending::outputFailed(w.out.error());
        if (sending) {
            if (const int signal = net::interruption()) return Ending::interrupted(signal);
            // A failed send brings the reports that wait, as many as the
            // exchange still hears: one left waiting would fail the next send too.
            step = w.transport.send(w.request) != 0
                       ? w.exchange.sent(Clock::now())
                       : w.exchange.sendFailed(w.transport.lastError(), w.transport.takeReports(step.hears),
                                               Clock::now());
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(step.restMs));
        Datagram datagram = w.transport.receiveDatagram(step.waitMs);
        if (datagram.what == Received::Interrupted) return Ending::interrupted(net::interruption());
        step = w.exchange.received(datagram, Clock::now());
        if (step.next == Exchange::Next::Take) reply = std::move(datagram.message);
    }
}

// The request of the whole walk, its binding named oid; the request owns
// both, or, when memory runs out on the way, nothing is left behind.
void prepareRequest(SnmpMessage& request, const std::string& community, const char* oid) {
    request.setCommunity(community.c_str());
    request.setRequestId(kRequestId);
    request.addVarbind(makeVarbind(std::make_unique<SnmpOid>(oid), nullptr).release());
}

// The next request names the OID of the row just printed, made from its text.
void moveOn(SnmpMessage& request, const char* oid) {
    auto* next = new SnmpOid(oid);
    SnmpOid* old = request.varbindList()->head()->name();
    request.varbindList()->head()->setName(next);
    delete old;
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

Ending walkArpTable(const WalkSettings& settings, Output& out) {
    const Column& column = settings.useOldOids ? kOldAt : kNetToMedia;
    SnmpMessage request(pdutags::kGetNextRequest, 0);
    prepareRequest(request, settings.community, column.oid);
    // What was printed goes out before the name is looked up, which a
    // request to stop cuts short by ending the program.
    if (!out.flush()) return Ending::outputFailed(out.error());
    SnmpTransport transport(settings.port, settings.agent.c_str());
    // Nothing can be sent: the cause, then the line that callers look for.
    if (!transport.ready()) return Ending(Silence{transport.unready(), settings.agent, {}, {}, {}});
    const Peer peer{transport.peerAddress(), transport.peerPort(), transport.broadcast()};
    Walk w{settings, out, transport, request, Exchange(peer, settings.timeoutMs, settings.debugMode)};
    for (;;) {
        std::unique_ptr<SnmpMessage> reply;
        if (auto end = answerTo(w, *request.varbindList()->head()->name(), reply)) return *end;
        Row row;
        if (auto end = judge(*reply, column, settings.debugMode, out, row)) return *end;
        printRow(out, row);
        moveOn(request, row.oid);
    }
}
