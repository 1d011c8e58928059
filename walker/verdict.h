// What the walk makes of what it receives: whether a datagram answers the
// request, what an answer means for the walk (a row, or its end), and the
// line that ends a walk whose request drew no answer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "snmp/message.h"
#include "transport/transport.h"
#include "walker/output.h"
#include "walker/row.h"
#include "walker/walk.h"

// Every request carries this id; only a reply with it can answer.
constexpr std::int32_t kRequestId = 123;
// Sends of one request before the walk gives up on it.
constexpr int kAttempts = 3;

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

// What a datagram means for the request for asked. Only a GetResponse from
// the agent that carries the request's id and a binding beyond asked answers.
// One that names an OID before asked is a late copy of an earlier answer,
// whatever it carries; one that names asked itself is a late copy too, or an
// agent that does not advance, unless it reports an error: an error reply
// names the OID that its request asked for (RFC 1157, 4.1.3).
Verdict consider(Datagram& datagram, const SnmpTransport& transport, SnmpOid& asked);

// The answer to one OID's request, or the tally of its attempts.
struct Exchange {
    std::unique_ptr<SnmpMessage> reply;
    int setAsideAttempts = 0;    // attempts that drew from the agent only datagrams set aside
    Verdict setAside;            // the latest agent's datagram set aside, if any came
    std::uint32_t stranger = 0;  // the first other sender, or 0
    int refusedSends = 0;        // attempts whose send the system refused
    int sendError = 0;           // and the error code of the latest
};

// Decides on an answer: a row, or how the walk ends, with its line printed
// (and, in debug mode, the progress lines).
std::optional<WalkEnd> judge(SnmpMessage& reply, const Column& column, bool debug, Output& out, Row& row);

// The line for an exchange that drew no answer, and how the walk ends. Only a
// device that answered every attempt, with nothing that could answer it, keeps
// the walk from going on; anything less is silence.
WalkEnd noReply(const Exchange& result, Output& out);
