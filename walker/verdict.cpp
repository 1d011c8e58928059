#include "walker/verdict.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// The error-status with which an SNMPv1 agent says that no object follows.
constexpr std::int32_t kNoSuchName = 2;

// The names of the error-status values: RFC 1157's 0 to 5, RFC 3416's 6 to 18.
constexpr const char* kErrorNames[] = {
    "noError",      "tooBig",           "noSuchName",          "badValue",     "readOnly",
    "genErr",       "noAccess",         "wrongType",           "wrongLength",  "wrongEncoding",
    "wrongValue",   "noCreation",       "inconsistentValue",   "resourceUnavailable",
    "commitFailed", "undoFailed",       "authorizationError",  "notWritable",  "inconsistentName",
};

// An error reply's status, by name and number, and its error-index.
std::string errorLine(SnmpMessage& reply) {
    const std::int32_t status = reply.errorStatus();
    std::string line = "error-status ";
    if (status >= 0 && static_cast<std::size_t>(status) < std::size(kErrorNames)) {
        line += std::string(kErrorNames[status]) + " (" + std::to_string(status) + ")";
    } else {
        line += std::to_string(status);
    }
    return line + ", error-index " + std::to_string(reply.errorIndex());
}

Verdict setAside(std::string what, AsideReason reason, std::uint8_t pduType = 0) {
    return {Verdict::SetAside, std::move(what), {{reason, pduType}, {}, {}}};
}

}  // namespace

Verdict consider(const Datagram& datagram, const SnmpTransport& transport, SnmpOid& asked, bool answered) {
    if (datagram.what == Received::Report) {
        const net::Report& report = datagram.report;
        const std::string what = "a report from " + (report.sender != 0 ? dotted(report.sender) : "the network") +
                                 ": " + icmpName(report);
        // A device that has never answered and says that its port is closed
        // will not answer a second send either; one that has answered is
        // restarting, and may be back within the attempt.
        const bool theDevice = report.sender == 0 || transport.fromAgent(report.sender);
        if (report.kind == net::Report::PortUnreachable && !answered && !transport.broadcast() && theDevice) {
            return {Verdict::NothingListens, what, {}};
        }
        return {Verdict::Reported, what, {}};
    }
    if (!transport.fromAgent(datagram.sender)) {
        return {Verdict::Stranger, "a datagram from " + dotted(datagram.sender), {}};
    }
    if (datagram.what == Received::TooLong) {
        return setAside("a reply longer than the receive buffer", AsideReason::TooLong);
    }
    if (datagram.what != Received::Message) return setAside("an unreadable datagram", AsideReason::Unreadable);
    SnmpMessage& reply = *datagram.message;
    if (reply.pduType() != pdutags::kGetResponse) {
        return setAside(pduName(reply.pduType()), AsideReason::NotAResponse, reply.pduType());
    }
    if (reply.requestId() != kRequestId) {
        return setAside("a reply with request-id " + std::to_string(reply.requestId()), AsideReason::OtherRequestId);
    }
    const SnmpVarbind* head = reply.varbindList()->head();
    if (head == nullptr || head->name() == nullptr) {
        return setAside("a reply without a binding", AsideReason::NoBinding);
    }
    // An error reply, or an exception in place of the value, names the OID
    // asked: endOfMibView does (RFC 3416, 4.2.2). Naming an earlier one, it
    // is a late copy of an earlier answer, like any other reply.
    const int order = compareOids(*head->name(), asked);
    const bool ending = reply.errorStatus() != 0 || exceptionName(head->value()) != nullptr;
    if (order > 0 || (order == 0 && ending)) {
        return {Verdict::Answers, {}, {}};
    }
    const std::string name = head->name()->toString();
    Verdict verdict = setAside("a reply for " + name, AsideReason::NotFollowing);
    verdict.aside.asked = asked.toString();
    verdict.aside.answered = name;
    return verdict;
}

std::optional<Ending> judge(SnmpMessage& reply, const Column& column, bool debug, Output& out, Row& row) {
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
        if (debug) out.put(errorLine(reply) + "\n");
        return WalkEnd::ErrorStatus;
    }
    if (debug) out.put("No SNMP Error\n");
    // An answer has a binding with a name: consider() let no other through.
    SnmpVarbind* binding = reply.varbindList()->head();
    // RFC 3416, 4.2.2: an agent answers a GetNext past the last object it
    // shows with endOfMibView; the other two exceptions end the walk alike.
    if (const char* exception = exceptionName(binding->value())) {
        if (debug) out.put(std::string(exception) + "\n\nNo OID follows in the device's view\n\n");
        return WalkEnd::EndOfColumn;
    }
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
        if (debug) out.put(std::string("Index that could not be read: ") + (row.oid + length + 1) + "\n");
        return WalkEnd::BadIndex;
    }
    row.value = binding->value();
    return std::nullopt;
}

void Tally::attempt(bool refused, int sendError) {
    ++attempts_;
    drewThisAttempt_ = false;
    if (refused) refused_ = sendError;
}

void Tally::setAside(const Aside& aside) {
    if (!drewThisAttempt_) {
        drewThisAttempt_ = true;
        ++drewAttempts_;
    }
    std::vector<AsideKind>& kinds = rejected_.kinds;
    if (std::find(kinds.begin(), kinds.end(), aside.kind) == kinds.end()) kinds.push_back(aside.kind);
    rejected_.latest = aside;
}

void Tally::stranger(std::uint32_t sender) {
    if (stranger_ == 0) stranger_ = sender;
}

void Tally::report(const net::Report& report) {
    if (!report_) report_ = report;
}

Ending Tally::ending() const {
    if (drewAttempts_ != 0 && drewAttempts_ == attempts_) {
        Ending rejected(WalkEnd::SetAside);
        rejected.rejected = rejected_;
        return rejected;
    }
    Ending silence(WalkEnd::NoReply);
    silence.silence.report = report_;
    silence.silence.refused = refused_;
    // Nothing came from the device itself, only from others: a multi-homed
    // device answers from another of its addresses.
    if (drewAttempts_ == 0) silence.silence.stranger = stranger_;
    return silence;
}
