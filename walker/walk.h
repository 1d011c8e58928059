// The walk of a device's ARP table: one GetNextRequest after another down one
// column, one printed row per entry.
#pragma once

#include <cstdint>
#include <string>

#include "walker/output.h"
#include "walker/row.h"

// The tool always talks to port 161 and waits 5 seconds per attempt; tests
// point it at their own responder and wait less.
constexpr std::uint16_t kAgentPort = 161;
constexpr std::int32_t kAttemptMs = 5000;

struct WalkSettings {
    std::string agent;
    std::string community;
    bool useOldOids = false;
    bool debugMode = false;
    std::uint16_t port = kAgentPort;
    std::int32_t timeoutMs = kAttemptMs;
};

// How a walk ended. Only the end of the column is a success.
enum class WalkEnd {
    EndOfColumn,     // the reply named an OID outside the column
    NoReply,         // three attempts without a usable reply from the device
    ErrorStatus,     // the agent reported an error
    BadIndex,        // the OID's index could not be read
    // Every attempt drew from the device only replies that cannot answer it:
    RequestIdWrong,  // ...replies with another request-id
    NoBinding,       // ...replies without a variable binding
    NotAdvancing,    // ...replies that do not follow the OID asked for
    NotAResponse,    // ...PDUs other than a GetResponse
    ReplyTooLong,    // ...replies longer than the receive buffer
    Unreadable,      // ...datagrams that do not decode to a message
    Interrupted,     // a request to stop came (net::interruption() tells which)
    OutputFailed,    // what the walk printed could not be written
};

// Runs the walk from the column's OID; prints rows, error lines and, in debug
// mode, progress lines to out. Rows received are flushed to out's stream
// before the walk waits for the device again, and when the walk ends.
WalkEnd walkArpTable(const WalkSettings& settings, Output& out);

// Whether every reply that shows a row can fit the receive buffer with this
// community, which the agent sends back in each: the one for a row whose
// index numbers each take 32 bits. A community too long for that could never
// draw a readable reply.
bool repliesFit(const std::string& community, bool useOldOids);
