// The entry point's work: banner, command line, run header, socket start-up
// and clean-up around the walk, and the exit code.
#pragma once

#include <cstdint>
#include <cstdio>

#include "walker/walk.h"

// Exit codes.
namespace exitcode {
constexpr int kOk = 0;           // the walk reached the end of the column
constexpr int kUsage = 1;        // the command line was not accepted
constexpr int kNoReply = 2;      // the device did not answer (or could not be reached)
constexpr int kBadReply = 3;     // the device answered, but the walk could not go on
constexpr int kOutOfMemory = 4;  // the tool ran out of memory
constexpr int kOutputFailed = 5; // the output could not be written
// A request to stop (SIGINT, SIGTERM, SIGHUP; Ctrl-C, Ctrl-Break) ends the
// run with 128 + the signal's number.
constexpr int kSignalBase = 128;
}  // namespace exitcode

// What tests change about a run; the tool itself uses the defaults.
struct RunOptions {
    std::uint16_t port = kAgentPort;
    std::int32_t timeoutMs = kAttemptMs;
    // Where the one line goes that says the output could not be written.
    std::FILE* errors = stderr;
};

// Runs the tool on a command line (argv[0] the program name as invoked),
// printing everything to out; returns the exit code. When out cannot be
// written, the walk stops, one line on options.errors names the cause and the
// exit code is 5.
int runTarnwick(int argc, const char* const* argv, std::FILE* out, const RunOptions& options = RunOptions());
