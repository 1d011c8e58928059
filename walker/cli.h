// The entry point's work: banner, command line, run header, socket start-up
// and clean-up around the walk, and the exit code.
#pragma once

#include <cstdint>
#include <cstdio>

#include "walker/walk.h"

// What tests change about a run; the tool itself uses the defaults.
struct RunOptions {
    std::uint16_t port = kAgentPort;
    std::int32_t timeoutMs = kAttemptMs;
    // Where the one line goes that says the output could not be written.
    std::FILE* errors = stderr;
};

// The walk as the tool runs it once the header is out: the socket library
// started around it, the ending's lines, and everything flushed. Gives the
// ending as it then stands, whose exit status the tool returns; when out
// cannot be written, one line on errors names the cause.
Ending runWalk(const WalkSettings& settings, Output& out, std::FILE* errors);

// Runs the tool on a command line (argv[0] the program name as invoked),
// printing everything to out; returns the exit status of its ending. When out
// cannot be written, the walk stops and one line on options.errors names the
// cause.
int runTarnwick(int argc, const char* const* argv, std::FILE* out, const RunOptions& options = RunOptions());
