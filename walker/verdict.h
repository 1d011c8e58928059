// What the walk makes of what it receives: the one owner of a request's
// attempts, which decides what each datagram, report and send means and what
// the walk does next.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "snmp/message.h"
#include "transport/transport.h"
#include "walker/endings.h"

// Every request carries this id; only a reply with it can answer.
constexpr std::int32_t kRequestId = 123;
// Sends of one request before the walk gives up on it.
constexpr int kAttempts = 3;
// Reports heard in one attempt past which the walk hears no more: a device or a
// router sends one a datagram, and a flood, read report by report, holds all up.
constexpr int kReportsHeard = 100;

// Everything the walk knows about the request it is sending: its attempts and
// what each drew, whether a send of it went out, and what the walk has seen
// (an answer, a send that went out). It touches no socket and reads no clock:
// the walk tells it what happened, and when, and does what it says next, and
// in debug mode shows what it made of it.
//
// The rule: only a GetResponse from the agent with the request's id and a
// binding beyond the OID asked answers. One that names an earlier OID is a
// late copy of an earlier answer; one that names the OID asked is a late copy
// too, or an agent that does not advance, unless it reports an error or
// carries an SNMPv2 exception in place of the value, which name the OID asked
// (RFC 1157, 4.1.3; RFC 3416, 4.2.2). A report is about the request only once
// a send of it went out, and only if it quotes a datagram to the agent's
// address and port. Until a datagram of the walk has answered, such a port
// unreachable from a unicast agent's own address, or from no address the
// system names, says that nothing listens: what already waits is read, then
// the attempt ends. No other report ever shortens a wait.
class Attempts {
public:
    using Clock = std::chrono::steady_clock;
    enum class Next {
        Send,    // a new attempt: send the request
        Resend,  // a report that waited failed the send: send it again at once
        Wait,    // wait at most ms for a datagram
        Rest,    // a receive failed: rest ms, then say rested()
        Deafen,  // reports come as a flood: hear no more, then say deafened()
        Take,    // the datagram just heard answers the request
        End,     // the request drew no answer: the walk ends with ending()
    };
    struct Step { Next next; std::int32_t ms = 0; };

    // The transport says who the agent is, and is told who answered a broadcast.
    Attempts(SnmpTransport& transport, std::int32_t attemptMs, bool debug);

    // A new request, for the OID after asked (which outlives it): Send.
    Step ask(SnmpOid& asked);
    // What became of a send, at now: it went out; the system refused it with
    // error; or it failed because reports waited, which were heard since. Only
    // the first two make an attempt; the attempt's time runs from its first send.
    Step sent(Clock::time_point now);
    Step refused(int error, Clock::time_point now);
    Step blocked(Clock::time_point now);
    // A datagram or a report received, or a report taken after a failed send.
    Step heard(const Datagram& datagram, Clock::time_point now);
    Step heard(const net::Report& report, Clock::time_point now);
    // Nothing more came; a receive failed for no reason the system gave; a rest ended.
    Step timedOut();
    Step failed(Clock::time_point now);
    Step rested(Clock::time_point now);
    Step deafened(Clock::time_point now);

    // How the walk ends when the request drew no answer: when every attempt drew
    // from the device only datagrams set aside, with the line of their kind or
    // mix; else in silence, with what kept the requests or answers from it.
    Ending ending() const;
    // In debug mode, the progress text of the steps since it was last taken.
    std::string shown() { return std::exchange(shown_, {}); }

private:
    struct Verdict;
    Verdict consider(const Datagram& datagram) const;  // a datagram, not a report
    Verdict consider(const net::Report& report) const;
    Step waitOn(Clock::time_point now);
    Step endAttempt();
    void start(Clock::time_point now);

    SnmpTransport& transport_;
    const std::chrono::milliseconds attemptTime_;
    const bool debug_;
    SnmpOid* asked_ = nullptr;
    bool answered_ = false;  // whether any datagram of the walk has answered a request
    bool sentAny_ = false;   // whether any send of the walk has gone out
    bool sentThis_ = false;  // whether a send of this request has
    // The attempt under way: when its time runs out (from its first send),
    // whether it waits, and whether it only reads what already waits.
    std::optional<Clock::time_point> deadline_;
    bool waiting_ = false;
    bool draining_ = false;
    int reports_ = 0;   // reports heard in this attempt
    int attempts_ = 0;
    int drewAttempts_ = 0;  // attempts that drew from the agent something set aside
    bool drewThis_ = false;  // whether the latest did
    Silence silence_;
    Rejected rejected_;
    std::string shown_;
};

