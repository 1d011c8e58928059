#include "walker/walk.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "snmp/message.h"
#include "transport/sockets.h"
#include "transport/transport.h"
#include "walker/row.h"

namespace {

constexpr std::int32_t kRequestId = 123;
// The error-status with which an SNMPv1 agent says that no object follows.
constexpr std::int32_t kNoSuchName = 2;
constexpr int kAttempts = 3;

using Clock = std::chrono::steady_clock;

// What the walk's steps share. The request's one binding names asked.
struct Walk {
    const WalkSettings& settings;
    const Column& column;
    Output& out;
    SnmpTransport& transport;
    SnmpMessage& request;
    SnmpOid* asked;
};

// How an exchange (up to three attempts for one OID) ended.
enum class Outcome { Reply, NoReply, Interrupted, OutputFailed };

// What one datagram means for the request: it answers it, it came from a
// stranger, or it is the agent's and set aside. For the last: what it was,
// for the debug line, and the end and its line when every attempt draws only such.
struct Verdict {
    enum Kind { Answers, Stranger, SetAside };
    Kind kind = Answers;
    std::string what;
    WalkEnd end = WalkEnd::NoReply;
    std::string line;
};

// The answer to one OID's request, or the tally of its attempts.
struct Exchange {
    std::unique_ptr<SnmpMessage> reply;
    int setAsideAttempts = 0;    // attempts that drew from the agent only datagrams set aside
    Verdict setAside;            // the latest such datagram's verdict
    bool heard = false;          // whether any datagram came from the agent
    std::uint32_t stranger = 0;  // the first other sender, or 0
    int refusedSends = 0;        // attempts whose send the system refused
    int sendError = 0;           // and the error code of the latest
};

// Milliseconds from now to the deadline, rounded up, so that a wait never ends
// before it; 0 once the deadline has passed.
std::int32_t millisecondsUntil(Clock::time_point deadline) {
    const auto now = Clock::now();
    if (deadline <= now) return 0;
    return static_cast<std::int32_t>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
}

// An IPv4 address in host order as dotted decimal.
std::string dotted(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

// The name of a PDU type, for a line that says what the device sent.
std::string pduName(std::uint8_t type) {
    switch (type) {
        case pdutags::kGetRequest: return "GetRequest";
        case pdutags::kGetNextRequest: return "GetNextRequest";
        case pdutags::kSetRequest: return "SetRequest";
        case pdutags::kTrap: return "Trap";
        case pdutags::kInformRequest: return "InformRequest";
        case pdutags::kV2Trap: return "SNMPv2-Trap";
        default: return "PDU the tool does not know";
    }
}

// What a datagram means for the request for asked. Only a GetResponse from
// the agent that carries the request's id and a binding beyond asked answers.
// One that names an OID before asked is a late copy of an earlier answer,
// whatever it carries; one that names asked itself is a late copy too, or an
// agent that does not advance, unless it reports an error: an error reply
// names the OID that its request asked for (RFC 1157, 4.1.3).
Verdict consider(Datagram& datagram, const SnmpTransport& transport, SnmpOid& asked) {
    if (!transport.fromAgent(datagram.sender)) {
        return {Verdict::Stranger, "a datagram from " + dotted(datagram.sender), WalkEnd::NoReply, ""};
    }
    if (datagram.what == Received::TooLong) {
        return {Verdict::SetAside, "a reply longer than the receive buffer", WalkEnd::ReplyTooLong,
                "ERROR: The device's replies are longer than the " + std::to_string(limits::kReceiveBuffer) +
                    " bytes that can be received\n"};
    }
    if (datagram.what != Received::Message) {
        return {Verdict::SetAside, "an unreadable datagram", WalkEnd::Unreadable,
                "ERROR: The device's replies could not be read\n"};
    }
    SnmpMessage& reply = *datagram.message;
    if (reply.pduType() != pdutags::kGetResponse) {
        const std::string name = pduName(reply.pduType());
        return {Verdict::SetAside, "a " + name, WalkEnd::NotAResponse,
                "ERROR: The device answered with a " + name + ", not a GetResponse\n"};
    }
    if (reply.requestId() != kRequestId) {
        return {Verdict::SetAside, "a reply with request-id " + std::to_string(reply.requestId()),
                WalkEnd::RequestIdWrong, "ERROR P1: Request ID does not match\n"};
    }
    const SnmpVarbind* head = reply.varbindList()->head();
    if (head == nullptr || head->name() == nullptr) {
        return {Verdict::SetAside, "a reply without a binding", WalkEnd::NoBinding,
                "ERROR: The reply holds no variable binding\n"};
    }
    const int order = compareOids(*head->name(), asked);
    if (order > 0 || (order == 0 && reply.errorStatus() != 0)) return {};
    const std::string name = head->name()->toString();
    return {Verdict::SetAside, "a reply for " + name, WalkEnd::NotAdvancing,
            std::string("ERROR: Asked for the OID after ") + asked.toString() + ", the device keeps answering with " +
                name + "; the walk cannot go on.\n"};
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
        result.heard = true;
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

// Decides on an answer: a row, or how the walk ends, with its line printed.
std::optional<WalkEnd> judge(Walk& w, SnmpMessage& reply, Row& row) {
    const bool debug = w.settings.debugMode;
    // The request-id was checked with the rest of what answers (consider).
    if (debug) w.out.put("received...RequestID matches...");
    if (reply.errorStatus() == kNoSuchName) {
        // RFC 1157, 4.1.3: an SNMPv1 agent answers a GetNext past the last
        // object it shows with noSuchName. Its view ends here, and so does
        // the column within it.
        if (debug) w.out.put("noSuchName\n\nNo OID follows in the device's view\n\n");
        return WalkEnd::EndOfColumn;
    }
    if (reply.errorStatus() != 0) {
        w.out.put("ERROR P1: Error receiving packet\n");
        return WalkEnd::ErrorStatus;
    }
    if (debug) w.out.put("No SNMP Error\n");
    SnmpVarbind* binding = reply.varbindList()->head();
    row.oid = binding->name()->toString();
    if (debug) w.out.put(std::string("OID Response:    ") + row.oid + "\n");
    // The column's OID and a dot: the next column (…1.3) and one whose number
    // merely begins with the same digits (…1.20) are outside it.
    const std::size_t length = std::strlen(w.column.oid);
    if (std::strncmp(row.oid, w.column.oid, length) != 0 || row.oid[length] != '.') {
        if (debug) w.out.put("\n\nOID is outside list\n\n");
        return WalkEnd::EndOfColumn;
    }
    if (!readIndex(row.oid + length + 1, w.column, row)) {
        w.out.put("ERROR: Mac address could not be read\n");
        return WalkEnd::BadIndex;
    }
    row.value = binding->value();
    return std::nullopt;
}

// The line for an exchange that drew no usable reply. Only a device that
// answered every attempt, with nothing that could answer it, keeps the walk
// from going on; anything less is silence.
WalkEnd noReply(const Exchange& result, Output& out) {
    if (result.refusedSends == kAttempts) {
        out.put("ERROR: The request could not be sent: " + net::errorText(result.sendError) + "\n");
    } else if (result.setAsideAttempts == kAttempts) {
        out.put(result.setAside.line);
        return result.setAside.end;
    } else if (!result.heard && result.stranger != 0) {
        // A multi-homed device answers from another of its addresses.
        out.put("ERROR: Datagrams came only from " + dotted(result.stranger) +
                ", not from the device's address, and were set aside\n");
    }
    out.put(
        "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a "
        "problem communicating with the device.\n");
    return WalkEnd::NoReply;
}

// The request of the whole walk, its binding named oid.
void prepareRequest(SnmpMessage& request, const std::string& community, SnmpOid* oid) {
    request.setCommunity(community.c_str());
    request.setRequestId(kRequestId);
    request.addVarbind(new SnmpVarbind(oid, nullptr));
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
    SnmpOid* currentOid = new SnmpOid(column.oid);
    prepareRequest(request, settings.community, currentOid);
    // What was printed goes out before the name is looked up, which a
    // request to stop cuts short by ending the program.
    if (!out.flush()) return WalkEnd::OutputFailed;
    SnmpTransport transport(settings.port, settings.agent.c_str());
    if (!transport.ready()) {
        // Nothing can be sent: the cause, then the line that callers look for.
        out.put("ERROR: " + transport.problem() + "\n");
        return noReply(Exchange(), out);
    }
    Walk w{settings, column, out, transport, request, currentOid};
    for (;;) {
        Exchange result;
        const Outcome outcome = exchange(w, result);
        if (outcome == Outcome::Interrupted) return WalkEnd::Interrupted;
        if (outcome == Outcome::OutputFailed) return WalkEnd::OutputFailed;
        if (outcome == Outcome::NoReply) return noReply(result, out);
        Row row;
        if (const auto end = judge(w, *result.reply, row)) return *end;
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
    reply.addVarbind(new SnmpVarbind(new SnmpOid(oid.c_str()), new SnmpOctetString(mac, sizeof mac)));
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
