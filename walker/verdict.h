// What the walk makes of what it receives: whether a datagram answers the
// request, what an answer means for the walk (a row, or its end), and how a
// request that drew no answer ends the walk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "snmp/message.h"
#include "transport/transport.h"
#include "walker/endings.h"
#include "walker/output.h"
#include "walker/row.h"

// Every request carries this id; only a reply with it can answer.
constexpr std::int32_t kRequestId = 123;
// Sends of one request before the walk gives up on it.
constexpr int kAttempts = 3;

// What one datagram means for the request: it answers it, it came from a
// stranger, or it is the agent's and set aside; or what a report of the
// network's means: it ends the attempt, the device having said that nothing
// listens, or the wait goes on. For all but an answer: what it was, for the
// debug line; for one set aside: why, with the details of the line that ends
// the walk when every attempt draws only such.
struct Verdict {
    enum Kind { Answers, Stranger, SetAside, NothingListens, Reported };
    Kind kind;
    std::string what;
    Aside aside;
};

// What a datagram means for the request for asked. Only a GetResponse from
// the agent that carries the request's id and a binding beyond asked answers.
// One that names an OID before asked is a late copy of an earlier answer,
// whatever it carries; one that names asked itself is a late copy too, or an
// agent that does not advance, unless it reports an error or carries an
// SNMPv2 exception in place of the value: an error reply names the OID that
// its request asked for (RFC 1157, 4.1.3), and so does endOfMibView.
// A report is never an answer, nor set aside. Until a datagram has answered
// some request of the walk (answered), a port unreachable from a unicast
// agent's own address, or from no address the system names, says that
// nothing listens: the attempt ends. Once one has, an agent that restarts is
// ridden out; and no other report, none about a broadcast and none from
// another address ever shortens a wait.
Verdict consider(const Datagram& datagram, const SnmpTransport& transport, SnmpOid& asked, bool answered);

// Decides on an answer: a row, or how the walk ends (and, in debug mode,
// prints the progress lines).
std::optional<Ending> judge(SnmpMessage& reply, const Column& column, bool debug, Output& out, Row& row);

// What the attempts of one request drew without an answer.
class Tally {
public:
    // A new attempt; its send was refused with the system's error code, or went out.
    void attempt(bool refused, int sendError = 0);
    // A datagram of the agent's set aside in the latest attempt.
    void setAside(const Aside& aside);
    // A datagram from another sender.
    void stranger(std::uint32_t sender);
    // A report of the network's about a send of the request.
    void report(const net::Report& report);

    // How the walk ends. Only a device that answered every attempt, with
    // nothing that could answer it, keeps the walk from going on: with the
    // line of its one kind, or of the mix. Anything less is silence, with
    // what kept the requests from the device or its answers from the walk.
    Ending ending() const;

private:
    int attempts_ = 0;
    int drewAttempts_ = 0;          // attempts that drew from the agent something set aside
    bool drewThisAttempt_ = false;  // whether the latest did
    Rejected rejected_;             // each kind set aside once, and the latest datagram set aside
    std::optional<int> refused_;    // the latest refused send's error code, if any was
    std::uint32_t stranger_ = 0;    // the first other sender, or 0
    std::optional<net::Report> report_;  // the first report of the network's
};
