// How a run ends, said once: the one vocabulary for it, which the walk and the
// command line hand up, and the one table that gives each ending its exit
// status and the lines it prints. Nothing else words an ERROR line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "transport/datagram.h"
#include "walker/output.h"

// Why a datagram from the device was set aside: it cannot answer the request.
enum class AsideReason {
    OtherRequestId,  // a GetResponse with another request-id
    NoBinding,       // a GetResponse without a variable binding
    NotFollowing,    // a GetResponse for an OID that does not follow the one asked for
    NotAResponse,    // a PDU other than a GetResponse
    TooLong,         // longer than the receive buffer
    Unreadable,      // a datagram that does not decode to a message
};

// A kind of datagram set aside. Each PDU type that is no GetResponse is a
// kind of its own; for every other reason the type stays 0.
struct AsideKind {
    AsideReason reason;
    std::uint8_t pduType = 0;
    bool operator==(const AsideKind&) const = default;
};

// One datagram set aside, with what the line of its kind and debug mode take.
struct Aside {
    AsideKind kind;
    // NotFollowing: the OID asked for. The OID or request-id the device sent.
    std::string asked, answered;
};

// How a run ended. Only the end of the column is a success.
enum class WalkEnd {
    EndOfColumn,   // the reply named an OID outside the column, or the agent's view ended
    NoReply,       // three attempts without a usable reply from the device
    ErrorStatus,   // the agent reported an error
    BadIndex,      // the OID's index could not be read
    SetAside,      // every attempt drew from the device only datagrams set aside
    Interrupted,   // a request to stop came
    OutputFailed,  // what the run printed could not be written
    OutOfMemory,   // memory ran out
    Refused,       // the command line was not accepted: the usage text follows
};

// Why the command line was not accepted.
enum class Refusal {
    Usage,             // the count of its arguments: the usage text says it all
    NoAgentText,       // an empty agent text
    BadAgentText,      // an agent text with a blank or a byte outside printable ASCII
    CommunityTooLong,  // a community too long for any reply to fit
};

// The details of NoReply: what kept the requests from the device, or its
// answers from the walk. Each is said in a line before the no-reply line.
struct Silence {
    // Nothing could be sent at all: why, and the name that did not resolve.
    Unready unready;
    std::string agent;
    // The first report of the network's about the request, if it drew any.
    std::optional<net::Report> report;
    // The error code of the latest send that was refused, if any was.
    std::optional<int> refused;
    // The first other host that sent datagrams, when the device sent none.
    std::optional<std::uint32_t> stranger;
};

// The details of SetAside.
struct Rejected {
    // Each kind once, in the order in which they first came.
    std::vector<AsideKind> kinds;
    // The latest datagram set aside: the line of a single kind takes its details.
    Aside latest;
};

// An ending, made with the details it has: the endings named below take
// theirs when they are made; the others have none.
struct Ending {
    Ending(WalkEnd how = WalkEnd::EndOfColumn) : end(how) {}
    explicit Ending(Silence why) : end(WalkEnd::NoReply), silence(std::move(why)) {}
    explicit Ending(Rejected what) : end(WalkEnd::SetAside), rejected(std::move(what)) {}
    Ending(Refusal why, std::string program) : end(WalkEnd::Refused), refusal(why), program(std::move(program)) {}
    static Ending interrupted(int signal) { Ending e(WalkEnd::Interrupted); e.signal = signal; return e; }
    static Ending outputFailed(int error) { Ending e(WalkEnd::OutputFailed); e.error = error; return e; }

    WalkEnd end;
    Silence silence;    // NoReply: what kept the requests, or the answers
    Rejected rejected;  // SetAside: what was set aside
    int signal = 0;     // Interrupted: the number of the signal that asked to stop
    int error = 0;      // OutputFailed: the system's error code
    Refusal refusal = Refusal::Usage;  // Refused: why
    std::string program;               // Refused: the program's name as invoked, for the usage text
};

// The exit status of an ending.
int exitStatus(const Ending& ending);

// Writes the lines of an ending: to out, or, for output that failed, to
// errors (nothing when errors is null). Nothing is allocated for an ending
// without details, so that running out of memory can still be said.
void printEnding(const Ending& ending, Output& out, std::FILE* errors = nullptr);

// The ending that stands once what was printed has been flushed: a request to
// stop outranks a failed write, and a failed write outranks the rest, whose
// line then goes to errors.
Ending settle(Ending ending, Output& out, std::FILE* errors);

// Names shared with the progress lines: a kind of datagram set aside ("a
// reply without a binding"), a PDU type with its article ("a Trap"), an IPv4
// address in host order as dotted decimal, and a report of the network's by
// its ICMP name ("ICMP port unreachable").
std::string asideName(const AsideKind& kind);
std::string pduName(std::uint8_t type);
std::string dotted(std::uint32_t address);
std::string icmpName(const net::Report& report);
// The system's words for an error code of the socket layer.
std::string systemError(int code);
