// The walk of a device's ARP table: one GetNextRequest after another down one
// column, one printed row per entry.
#pragma once

#include <cstdint>
#include <string>

#include "walker/endings.h"
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

// Runs the walk from the column's OID; prints rows and, in debug mode,
// progress lines to out, and returns how it ended, for the caller to say.
// Rows received are flushed to out's stream before the walk waits for the
// device again.
Ending walkArpTable(const WalkSettings& settings, Output& out);

// Whether every reply that shows a row can fit the receive buffer with this
// community, which the agent sends back in each: the one for a row whose
// index numbers each take 32 bits. A community too long for that could never
// draw a readable reply.
bool repliesFit(const std::string& community, bool useOldOids);
