// Runs the walk, or the whole tool in this process, with what it prints
// caught in a stream that can be read back.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "transport/sockets.h"
#include "walker/cli.h"
#include "walker/walk.h"

// The line of a walk that drew no reply.
constexpr char kNoReply[] =
    "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a problem "
    "communicating with the device.\n";

// The socket library, started for as long as the guard stands.
struct Winsock {
    Winsock() { net::startup(); }
    ~Winsock() { net::cleanup(); }
};

// What a run in debug mode says around the walk.
const std::string kStartup = "Winsock Startup...successful\n";
const std::string kCleanup = "Winsock cleanup...completed\n";

// Everything written to a stream that can be read back (a tmpfile), from its
// start; the stream is closed.
inline std::string readBack(std::FILE* stream) {
    std::string text;
    std::rewind(stream);
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, stream)) > 0) text.append(chunk, n);
    std::fclose(stream);
    return text;
}

// What an ending prints on the output, and on standard error.
inline std::string printed(const Ending& ending, std::string* errors = nullptr) {
    std::FILE* stream = std::tmpfile();
    std::FILE* errorStream = std::tmpfile();
    {
        Output out(stream);
        printEnding(ending, out, errorStream);
    }
    const std::string onError = readBack(errorStream);
    if (errors != nullptr) *errors = onError;
    return readBack(stream);
}

// How a run ended (a walk's end, or the tool's exit status), what it printed
// and how long it took.
template <typename End>
struct Ran {
    End end;
    std::string output;
    double seconds;
};

// Runs run(stream) on a stream that can be read back, or on the caller's
// stream (whose text it leaves there), and times it.
template <typename Run>
auto runCaptured(Run&& run, std::FILE* stream = nullptr) -> Ran<decltype(run(stream))> {
    std::FILE* out = stream != nullptr ? stream : std::tmpfile();
    const auto start = std::chrono::steady_clock::now();
    const auto end = run(out);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {end, stream != nullptr ? std::string() : readBack(out), seconds};
}

// What a walk test changes, by name.
struct WalkOptions {
    bool old = false;    // the older column (-o)
    bool debug = false;  // progress lines (-d)
    int timeoutMs = 2000;  // no answer is given up on, however busy the machine
    std::string host = "127.0.0.1";
};

// A walk of the agent on port with community "public".
inline WalkSettings settingsFor(std::uint16_t port, const WalkOptions& options = {}) {
    WalkSettings settings;
    settings.agent = options.host;
    settings.community = "public";
    settings.useOldOids = options.old;
    settings.debugMode = options.debug;
    settings.port = port;
    settings.timeoutMs = options.timeoutMs;
    return settings;
}

// The walk as the tool runs it, to its end.
inline Ran<WalkEnd> walkCaptured(const WalkSettings& settings, std::FILE* stream = nullptr) {
    return runCaptured(
        [&](std::FILE* out) {
            Output output(out);
            return runWalk(settings, output, stderr).end;
        },
        stream);
}

// The whole tool in this process, on a command line (argv[0] included).
inline Ran<int> runInProcess(const std::vector<std::string>& args, const RunOptions& options = RunOptions(),
                             std::FILE* stream = nullptr) {
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    return runCaptured(
        [&](std::FILE* out) { return runTarnwick(static_cast<int>(argv.size()), argv.data(), out, options); }, stream);
}
