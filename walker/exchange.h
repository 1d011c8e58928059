// The walk's exchange with the device, without I/O: the walk tells it what
// happened, and when, and does what it says next.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "snmp/values.h"
#include "transport/datagram.h"
#include "walker/endings.h"

// Every request carries this id; only a reply with it can answer.
constexpr std::int32_t kRequestId = 123;
// Sends of one request before the walk gives up on it.
constexpr int kAttempts = 3;
// Reports taken in one attempt: one a datagram is the most a device or router
// sends, and a flood, read report by report, would hold all up.
constexpr int kReportsHeard = 100;
// The longest rest after a failed receive; the pause after a refused send
// before anything went out.
constexpr std::int32_t kRestMs = 100;
constexpr std::int32_t kPauseMs = 1000;

// The device asked: its address and port, and whether the address is a
// broadcast address, at which the first device to answer becomes the device.
struct Peer {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    bool broadcast = false;
};

// What the walk knows of the request in flight and of the device: each attempt
// and what it got, who has answered, and in debug mode what each event was.
// Only a GetResponse from the device with the request's id and a binding
// beyond the OID asked answers; one for the OID asked, only with an error or
// an SNMPv2 exception in place of the value (RFC 1157, 4.1.3; RFC 3416,
// 4.2.2). Any other is ignored: an earlier OID is a late reply, the OID asked
// a late reply or an agent that does not advance. A report concerns the
// request once a send of it went out, and only if it quotes a datagram to the
// device's address and port; until a reply of the walk has answered, such a
// port unreachable from a unicast device's own address, or from no address
// the system names, says that nothing listens: a wait then reads what already
// waits, and the attempt ends. No other report shortens a wait. Reports that
// fail a send end no attempt: the request goes again at once.
class Exchange {
public:
    using Clock = std::chrono::steady_clock;
    enum class Next {
        Send,  // send the request
        Wait,  // rest restMs, then wait at most waitMs for a datagram
        Take,  // the datagram just received answers the request
        End,   // the request got no answer: the walk ends with ending()
    };
    struct Step {
        Next next;
        std::int32_t waitMs = 0;  // 0: read only what already waits
        std::int32_t restMs = 0;
        // Reports the attempt still hears; with none, the system is to hand up none.
        int hears = kReportsHeard;
    };

    Exchange(const Peer& peer, std::int32_t attemptMs, bool debug);

    // A new request, for the OID after asked (which outlives it).
    Step ask(SnmpOid& asked);
    // A send went out. The attempt's time runs from its first send, whether
    // that went out or failed.
    Step sent(Clock::time_point now);
    // A send failed with the system's error code; reports are those that the
    // system held for the socket then, at most the step's hears of them.
    Step sendFailed(int error, std::span<const net::Report> reports, Clock::time_point now);
    // What a wait came to: a datagram, a report, nothing, or a failed receive.
    // A wait that a request to stop cut short never comes here: the run ends.
    Step received(const Datagram& datagram, Clock::time_point now);

    // How the walk ends when the request got no answer: with the line of their
    // kinds when every attempt got only ignored datagrams from the device;
    // else with no reply, and what kept the requests or answers from it.
    Ending ending() const;
    // In debug mode, the progress text of the events since it was last taken.
    std::string shown() { return std::exchange(shown_, {}); }

private:
    enum class Phase {
        Sending,   // the attempt's request has not gone out: after a refusal, pause, then end
        Waiting,   // it went out, or an earlier one did: wait until the time runs out
        Draining,  // nothing listens: read what already waits, then end
    };
    // What the attempt under way has drawn; each attempt starts from nothing.
    struct Attempt {
        Phase phase = Phase::Sending;
        std::optional<Clock::time_point> deadline;
        int reports = 0;    // reports heard
        bool drew = false;  // whether the device sent a datagram that was set aside
        bool refusedOnce = false;  // whether the system refused a send of it once
    };
    // What the request in flight has drawn; each request starts from nothing.
    struct Request {
        SnmpOid* asked = nullptr;
        int attempts = 0;
        int drewAttempts = 0;  // attempts that drew a datagram set aside
        bool sent = false;     // whether a send of it went out
        Silence silence;
        Rejected rejected;
    };
    // Why a datagram from the device is ignored; none when it answers.
    std::optional<Aside> setAside(const Datagram& datagram) const;
    bool fromDevice(std::uint32_t address) const;
    bool nothingListens(const net::Report& report) const;
    void hear(const net::Report& report);
    // Every step is made here, with how many reports the attempt still hears.
    Step step(Next next, std::int32_t waitMs = 0, std::int32_t restMs = 0) const {
        return {next, waitMs, restMs, kReportsHeard - attempt_.reports};
    }
    Step waitOn(Clock::time_point now);
    std::int32_t msLeft(Clock::time_point now) const;
    // Ends the attempt under way and starts the next, or ends the request.
    Step endAttempt();
    Step startAttempt();

    const Peer peer_;
    const std::chrono::milliseconds attemptTime_;
    const bool debug_;
    // The address of the first datagram that answered; none until one has.
    std::optional<std::uint32_t> answerer_;
    Request request_;
    Attempt attempt_;
    std::string shown_;
};
