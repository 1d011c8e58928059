#include "walker/verdict.h"

#include <cstring>

#include "transport/sockets.h"

namespace {

// The error-status with which an SNMPv1 agent says that no object follows.
constexpr std::int32_t kNoSuchName = 2;

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

}  // namespace

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

std::optional<WalkEnd> judge(SnmpMessage& reply, const Column& column, bool debug, Output& out, Row& row) {
    // The request-id was checked with the rest of what answers (consider).
    if (debug) out.put("received...RequestID matches...");
    if (reply.errorStatus() == kNoSuchName) {
        // RFC 1157, 4.1.3: an SNMPv1 agent answers a GetNext past the last
        // object it shows with noSuchName. Its view ends here, and so does
        // the column within it.
        if (debug) out.put("noSuchName\n\nNo OID follows in the device's view\n\n");
        return WalkEnd::EndOfColumn;
    }
    if (reply.errorStatus() != 0) {
        out.put("ERROR P1: Error receiving packet\n");
        return WalkEnd::ErrorStatus;
    }
    if (debug) out.put("No SNMP Error\n");
    // An answer has a binding with a name: consider() let no other through.
    SnmpVarbind* binding = reply.varbindList()->head();
    row.oid = binding->name()->toString();
    if (debug) out.put(std::string("OID Response:    ") + row.oid + "\n");
    // The column's OID and a dot: the next column (…1.3) and one whose number
    // merely begins with the same digits (…1.20) are outside it.
    const std::size_t length = std::strlen(column.oid);
    if (std::strncmp(row.oid, column.oid, length) != 0 || row.oid[length] != '.') {
        if (debug) out.put("\n\nOID is outside list\n\n");
        return WalkEnd::EndOfColumn;
    }
    if (!readIndex(row.oid + length + 1, column, row)) {
        out.put("ERROR: Mac address could not be read\n");
        return WalkEnd::BadIndex;
    }
    row.value = binding->value();
    return std::nullopt;
}

WalkEnd noReply(const Exchange& result, Output& out) {
    if (result.refusedSends == kAttempts) {
        out.put("ERROR: The request could not be sent: " + net::errorText(result.sendError) + "\n");
    } else if (result.setAsideAttempts == kAttempts) {
        out.put(result.setAside.line);
        return result.setAside.end;
    } else if (result.setAside.kind != Verdict::SetAside && result.stranger != 0) {
        // Nothing came from the device itself, only from others: a
        // multi-homed device answers from another of its addresses.
        out.put("ERROR: Datagrams came only from " + dotted(result.stranger) +
                ", not from the device's address, and were set aside\n");
    }
    out.put(
        "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a "
        "problem communicating with the device.\n");
    return WalkEnd::NoReply;
}

