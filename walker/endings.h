// How a run ends, said once: the one vocabulary for it, which the walk and the
// command line hand up, and the one table that gives each ending its exit
// status and the lines it prints. Nothing else words an ERROR line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transport/transport.h"
#include "walker/output.h"

// How a run ended. Only the end of the column is a success.
enum class WalkEnd {
    EndOfColumn,     // the reply named an OID outside the column, or the agent's view ended
    NoReply,         // three attempts without a usable reply from the device
    ErrorStatus,     // the agent reported an error
    BadIndex,        // the OID's index could not be read
    // Every attempt drew from the device only datagrams set aside, all of one kind:
    RequestIdWrong,  // ...replies with another request-id
    NoBinding,       // ...replies without a variable binding
    NotAdvancing,    // ...replies that do not follow the OID asked for
    NotAResponse,    // ...PDUs other than a GetResponse
    ReplyTooLong,    // ...replies longer than the receive buffer
    Unreadable,      // ...datagrams that do not decode to a message
    Unusable,        // ...or of more than one of these kinds
    Interrupted,     // a request to stop came
    OutputFailed,    // what the run printed could not be written
    OutOfMemory,     // memory ran out
    // The command line was not accepted:
    Usage,           // ...the count of its arguments
    BadAgentText,    // ...an agent text with a blank or a control character
    CommunityTooLong,  // ...a community too long for any reply to fit
};

// An ending with the details its lines take.
struct Ending {
    // An ending without details (and, by default, the end of the column).
    Ending(WalkEnd how = WalkEnd::EndOfColumn) : end(how) {}

    WalkEnd end;
    // NotAdvancing: the OID asked for, and the one the device answered with.
    std::string asked, answered;
    // NotAResponse: the type of the PDU the device sent.
    std::uint8_t pduType = 0;
    // Unusable: each kind set aside, once, in the order in which they first came.
    std::vector<WalkEnd> kinds;
    // NoReply, said before the no-reply line: why nothing could be sent at
    // all (with the name that did not resolve)...
    Unready unready;
    std::string agent;
    // ...or that sends were refused (with the latest one's error code), and
    // the first other host that sent datagrams when the device sent none.
    bool refused = false;
    int sendError = 0;
    std::uint32_t stranger = 0;
    // Interrupted: the signal's number. OutputFailed: the system's error code.
    int code = 0;
};

// The exit status of an ending.
int exitStatus(const Ending& ending);

// Writes the lines of an ending: to out, or, for output that failed, to
// errors (nothing when errors is null). Nothing is allocated for an ending
// without details, so that running out of memory can still be said.
void printEnding(const Ending& ending, Output& out, std::FILE* errors = nullptr);

// The ending that stands once what was printed has been flushed: a request to
// stop outranks a failed write, and a failed write outranks the rest.
Ending settle(Ending ending, Output& out);

// Names shared with the progress lines: a PDU type with its article ("a
// Trap"), and an IPv4 address in host order as dotted decimal.
std::string pduName(std::uint8_t type);
std::string dotted(std::uint32_t address);
