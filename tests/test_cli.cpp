#include <gtest/gtest.h>

#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "tests/runner.h"
#include "tests/scripted_agent.h"

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "transport/sockets.h"
#endif

namespace {

const char kBanner[] = "Tarnwick v1.1 - the ARP table of a network device, read over SNMP\n\n";

std::string usage(const std::string& shownName) {
    return "  A program to use SNMP to fetch the ARP cache of a device.\n"
           "\n  Usage:\t" +
           shownName +
           " ipAddress community [-o] [-d]\n\n"
           "  Arguments:\tipAddress = IP address of switch (or DNS name)\n"
           "\t\tcommunity = SNMP read/write community name on switch\n"
           "\t\t[-o] = Use old depricated OIDs (1.3.6.1.2.1.3.1.1.2)\n"
           "\t\t[-d] = Output debugging information\n";
}

std::string header(const std::string& agent, bool debug, bool old) {
    return "Agent:\t\t" + agent + "\nDebugMode:\t" + (debug ? "TRUE" : "FALSE") + "\nOID:\t\t" +
           (old ? "1.3.6.1.2.1.3.1.1.2" : "1.3.6.1.2.1.4.22.1.2") +
           "\n\nIP Address\tMAC Address\t\tInt\n---------------\t-----------------\t---\n";
}

#ifndef _WIN32
std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the built binary as a shell would, from directory dir, invoked as
// program; the result holds what it wrote to both streams, or with standard
// output closed, to standard error.
Ran<int> runBinary(const std::string& dir, const std::string& program, const std::vector<std::string>& args,
                   bool closedOutput = false) {
    // A program of another machine goes through its emulator (qemu-user), as
    // CTest starts the test programs.
    const std::string emulator = TARNWICK_EMULATOR;
    std::string command = "cd " + quote(dir) + " && " + (emulator.empty() ? "" : emulator + " ") + quote(program);
    for (const auto& a : args) command += " " + quote(a);
    return runCaptured([&](std::FILE* out) {
        const std::string to = "/dev/fd/" + std::to_string(fileno(out));
        const int status = std::system((command + (closedOutput ? " >&- 2>" + to : " >" + to + " 2>&1")).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    });
}
#endif

TEST(CommandLine, UsageShowsTheProgramNameInCapitals) {
#ifdef _WIN32
    GTEST_SKIP() << "runs the Linux binary";
#else
    char dir[] = "/tmp/tarnwick-path-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string tools = std::string(dir) + "/tools";
    ASSERT_EQ(std::system(("mkdir -p " + tools + " && ln -s " + quote(TARNWICK_BINARY) + " " + tools + "/tarnwick").c_str()), 0);
    const auto result = runBinary(dir, "tools/tarnwick", {});
    EXPECT_EQ(result.end, 1);
    EXPECT_EQ(result.output, kBanner + usage("TOOLS/TARNWICK"));
    std::system(("rm -rf " + std::string(dir)).c_str());
#endif
}

TEST(CommandLine, CommandLinesNotAccepted) {
    const std::string agent = "ERROR: The device's name or address holds a blank or a byte outside printable ASCII\n";
    const std::string tooLong =
        "ERROR: The community is too long: no reply that carries it back fits the 4096 bytes that can be received\n";
    const struct {
        std::vector<std::string> args;
        std::string line = "";  // the reason, before the usage text
    } rows[] = {
        {{"tarnwick"}},
        {{"tarnwick", "10.0.0.1"}},
        {{"tarnwick", "10.0.0.1", "public", "-d", "-o", "extra"}},
        {{"tarnwick", "a", "b", "c", "d", "e", "f"}},
        // An agent text with a blank or a byte outside printable ASCII, which
        // would forge output in the header: the CR of a device list with CRLF
        // too, and the line ends of a reader that splits lines as Unicode does
        // (U+0085 and U+2028 in UTF-8, 0x85 alone), a C1 CSI, DEL.
        {{"tarnwick", "127.0.0.1\n10.66.66.66\t66-66-66-66-66-66\t3", "public"}, agent},
        {{"tarnwick", "10.0.0.1\xC2\x85" "ERROR: forged", "public"}, agent},
        {{"tarnwick", "10.0.0.1\xE2\x80\xA8" "ERROR: forged", "public"}, agent},
        {{"tarnwick", "10.0.0.1\x85", "public"}, agent},
        {{"tarnwick", "10.0.0.1\x9B" "2J", "public"}, agent},
        {{"tarnwick", "device\x7f", "public"}, agent},
        {{"tarnwick", "10.0.0.1 10.0.0.2", "public"}, agent},
        {{"tarnwick", "10.0.0.1\r", "public"}, agent},
        {{"tarnwick", "", "public", "-d"}, "ERROR: No device was named\n"},
        // A community too long for any reply to fit (see repliesFit).
        {{"tarnwick", "127.0.0.1", std::string(4024, 'c')}, tooLong},
        {{"tarnwick", "127.0.0.1", std::string(4019, 'c'), "-o"}, tooLong},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.size());
        const auto result = runInProcess(row.args);
        EXPECT_EQ(result.end, 1);
        EXPECT_EQ(result.output, kBanner + row.line + usage("TARNWICK"));
    }
    // Only a-z change case: digits, dots and capitals stay. The caller's
    // new-handler stands again after the run.
    const std::new_handler own = [] { std::abort(); }, before = std::set_new_handler(own);
    EXPECT_EQ(runInProcess({"./Tarz-wick_2.exe"}).output, kBanner + usage("./TARZ-WICK_2.EXE"));
    EXPECT_EQ(std::set_new_handler(before), own);
}

TEST(CommandLine, SwitchesAndHeader) {
    const struct {
        std::vector<std::string> switches;
        bool debug, old;
    } rows[] = {
        {{}, false, false},
        {{"-d"}, true, false},
        {{"-D"}, true, false},
        {{"-o"}, false, true},
        {{"-O"}, false, true},
        {{"-o", "-d"}, true, true},
        {{"-D", "-O"}, true, true},
        {{"-d", "-d"}, true, false},
        {{"-x", "-o"}, false, true},
        {{"-dd"}, false, false},
        {{"d"}, false, false},
        {{"--o"}, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.switches.empty() ? "none" : row.switches[0]);
        // 0.0.0.0 names no device, so the walk ends at once.
        std::vector<std::string> args = {"tarnwick", "0.0.0.0", "public"};
        args.insert(args.end(), row.switches.begin(), row.switches.end());
        const auto result = runInProcess(args);
        EXPECT_EQ(result.end, 2);
        std::string expected = kBanner + header("0.0.0.0", row.debug, row.old);
        if (row.debug) expected += kStartup;
        // Nothing can be sent to no device: no attempt is made.
        expected += std::string("ERROR: The address 0.0.0.0 names no device\n") + kNoReply;
        if (row.debug) expected += kCleanup;
        EXPECT_EQ(result.output, expected);
    }
}

TEST(CommandLine, SwitchesOnlyInPlacesThreeAndFour) {
    // "-d" typed as the agent is the agent's text.
    const auto result = runInProcess({"tarnwick", "-d", "public"});
    EXPECT_EQ(result.output.substr(0, sizeof kBanner - 1 + header("-d", false, false).size()),
              kBanner + header("-d", false, false));
    // "-d" typed as the community is the community's text, sent as such.
    ScriptedAgent agent(always(makeResponse("1.3.6.1.2.1.4.22.1.3", new SnmpInteger(1))));
    const auto community = runInProcess({"tarnwick", "127.0.0.1", "-d"}, {.port = agent.port()});
    EXPECT_EQ(community.output, kBanner + header("127.0.0.1", false, false));
    EXPECT_NE(hexText(agent.lastRequest()).find("04 02 2D 64 A1"), std::string::npos);
}

TEST(CommandLine, TheBinaryEndToEnd) {
#ifdef _WIN32
    GTEST_SKIP() << "runs the Linux binary";
#else
    const auto usageRun = runBinary("/", TARNWICK_BINARY, {"only-one"});
    EXPECT_EQ(usageRun.end, 1);
    const auto run = runBinary("/", TARNWICK_BINARY, {"0.0.0.0", "public", "-D"});
    EXPECT_EQ(run.end, 2);
    EXPECT_EQ(run.output.substr(0, sizeof kBanner - 1), kBanner);
    EXPECT_NE(run.output.find(kNoReply), std::string::npos);
    EXPECT_NE(run.output.find(kCleanup), std::string::npos);
#endif
}

TEST(CommandLine, UnderAnyMemoryLimit) {
#if defined(_WIN32) || TARNWICK_EMULATED || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "limits the Linux binary's own address space";
#else
    // Under a limit on its address space, the program cannot be loaded at all
    // (127, from the loader, before any code of its own), or runs out of
    // memory (4, its line the last), or gets through (2: 0.0.0.0 names no
    // device, and nothing is sent). Near the lowest limit that gets through,
    // the C++ runtime may have gone without its reserve for exceptions.
    const auto underLimit = [](long kb) {
        return runBinary("/", "bash",
                         {"-c", "ulimit -v " + std::to_string(kb) + "; exec " + quote(TARNWICK_BINARY) + " 0.0.0.0 public -d"});
    };
    long fails = 1024, passes = 1024 * 1024;
    ASSERT_EQ(underLimit(passes).end, 2);
    while (passes - fails > 4) {
        const long mid = (fails + passes) / 2;
        (underLimit(mid).end == 2 ? passes : fails) = mid;
    }
    const std::string line = "ERROR: Out of memory\n";
    int ranOut = 0;
    for (long kb = passes - 4; kb > passes - 1024; kb -= 4) {
        const auto run = underLimit(kb);
        SCOPED_TRACE(std::to_string(kb) + " KB: " + run.output);
        if (run.end == 127) break;
        ASSERT_EQ(run.end, 4);
        ASSERT_EQ(run.output.substr(run.output.size() - std::min(run.output.size(), line.size())), line);
        ++ranOut;
    }
    EXPECT_GT(ranOut, 0);
#endif
}

TEST(CommandLine, LongArgumentsAreTakenWhole) {
    // Far beyond the 100 characters of old: used whole, never cut.
    const std::string community(3000, 'c');
    ScriptedAgent agent(always(makeResponse("1.3.6.1.2.1.4.22.1.3", new SnmpInteger(1))));
    const RunOptions options{.port = agent.port(), .timeoutMs = 500};
    const auto result = runInProcess({"tarnwick", "127.0.0.1", community}, options);
    EXPECT_EQ(result.end, 0);
    const Bytes request = agent.lastRequest();
    const std::string sent(request.begin(), request.end());
    EXPECT_NE(sent.find(community), std::string::npos);
    EXPECT_EQ(request.size(), 3039u);

    const std::string agentName(300, 'h');
    const auto longAgent = runInProcess({"tarnwick", agentName, "public", "-x"}, options);
    EXPECT_NE(longAgent.output.find("Agent:\t\t" + agentName + "\n"), std::string::npos);
    // A name no resolver knows, refused without a query (its label is longer than 63).
    EXPECT_NE(longAgent.output.find("ERROR: The name " + agentName + " could not be resolved to an IPv4 address: "),
              std::string::npos);
}

TEST(CommandLine, CommunityTooLongForAReplyIsRefused) {
    // The agent sends the community back: the reply for a row whose index
    // numbers take 32 bits each, with a six-byte MAC, must fit 4096 bytes.
    const struct {
        std::size_t length;
        bool old, fits;
    } rows[] = {{4023, false, true}, {4024, false, false}, {4018, true, true},
                {4019, true, false}, {4100, false, false}, {65536, false, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.length);
        EXPECT_EQ(repliesFit(std::string(row.length, 'c'), row.old), row.fits);
    }
}

TEST(CommandLine, OutputThatCannotBeWritten) {
    // Room for the banner, the header, the first progress line and the first
    // sending line, not more.
    const std::size_t afterHeader = sizeof kBanner - 1 + header("127.0.0.1", true, false).size() + 29 +
                                    sizeof "\nSending GETNEXT: 1.3.6.1.2.1.4.22.1.2..." - 1;
    const struct {
        const char* path;  // null: a stream in memory with room for afterHeader bytes
        const char* mode;
        std::vector<std::string> args;
        const char* cause;
        int requests = 0;  // requests sent before the output failed
    } rows[] = {
#ifdef _WIN32
        {"NUL", "r", {"tarnwick", "127.0.0.1", "public"}, "Bad file descriptor"},
#else
        {"/dev/full", "w", {"tarnwick", "127.0.0.1", "public"}, "No space left on device"},
        {"/dev/full", "w", {"tarnwick"}, "No space left on device"},
        {"/dev/null", "r", {"tarnwick", "127.0.0.1", "public"}, "Bad file descriptor"},
        // Inside the walk: the progress line after the first send does not fit.
        {nullptr, "w", {"tarnwick", "127.0.0.1", "public", "-d"}, "No space left on device", 1},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path != nullptr ? std::string(row.path) + " " + row.mode : "in the walk");
        ScriptedAgent agent(always(makeResponse("1.3.6.1.2.1.5", new SnmpInteger(1))));
        std::vector<char> room(afterHeader + 1);
#ifdef _WIN32
        std::FILE* out = std::fopen(row.path, row.mode);
#else
        std::FILE* out = row.path != nullptr ? std::fopen(row.path, row.mode) : fmemopen(room.data(), room.size(), "w");
#endif
        ASSERT_NE(out, nullptr);
        std::FILE* errors = std::tmpfile();
        EXPECT_EQ(runInProcess(row.args, {.port = agent.port(), .errors = errors}, out).end, 5);
        std::fclose(out);
        EXPECT_EQ(readBack(errors), std::string("ERROR: The output could not be written: ") + row.cause + "\n");
        // Nothing is sent to a device whose rows could not be shown, and
        // nothing more once they cannot.
        EXPECT_EQ(agent.requestsOnceThere(row.requests), row.requests);
    }
}

#ifndef _WIN32

// The walk's last line, its ending's, is written as the run ends: a write
// that fails there is the run's failure, not the walk's ending.
TEST(CommandLine, AWriteThatFailsAtTheLastLine) {
    // Two rows, then only replies with another request-id: that kind's line
    // and the status of a walk that could not go on.
    auto table = tableScript({mac("1.10.0.0.1", "00 00 00 00 00 01"), mac("1.10.0.0.2", "00 00 00 00 00 02")});
    ScriptedAgent agent([table](SnmpMessage* request, int number) -> std::vector<ScriptedReply> {
        if (request == nullptr || std::string(request->varbindName(1)) != "1.3.6.1.2.1.4.22.1.2.1.10.0.0.2") {
            return table(request, number);
        }
        return {{makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.3", macValue("00 00 00 00 00 03"), 124)}};
    });
    const std::vector<std::string> args = {"tarnwick", "127.0.0.1", "public"};
    const RunOptions options{.port = agent.port(), .timeoutMs = 1000};
    const auto whole = runInProcess(args, options);
    ASSERT_EQ(whole.end, 3);
    EXPECT_LT(whole.seconds, 4.5);  // three attempts of the second given, not of five
    EXPECT_EQ(whole.output, kBanner + header("127.0.0.1", false, false) + "10.0.0.1\t00-00-00-00-00-01\t1\n" +
                                "10.0.0.2\t00-00-00-00-00-02\t1\nERROR P1: Request ID does not match\n");
    // Room for everything but the last byte.
    std::vector<char> room(whole.output.size() - 1);
    std::FILE* out = fmemopen(room.data(), room.size(), "w");
    ASSERT_NE(out, nullptr);
    std::FILE* errors = std::tmpfile();
    EXPECT_EQ(runInProcess(args, {.port = agent.port(), .timeoutMs = 1000, .errors = errors}, out).end, 5);
    std::fclose(out);
    EXPECT_EQ(readBack(errors).rfind("ERROR: The output could not be written: ", 0), 0u);
}

// A write that fails after a request to stop (the reader went away once it
// came) gives the stop's status, 128 + its number, not the output's.
TEST(CommandLine, AWriteThatFailsAfterAStop) {
    ScriptedAgent agent(tableScript({mac("1.10.0.0.1", "00 00 00 00 00 01"), mac("1.10.0.0.2", "00 00 00 00 00 01")}));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        net::watchInterruptions();
        // The header goes out; the next write, with the first row, meets SIGTERM and a reader gone.
        cookie_io_functions_t io{};
        io.write = [](void* cookie, const char*, std::size_t n) -> ssize_t {
            if (++*static_cast<int*>(cookie) == 1) return static_cast<ssize_t>(n);
            raise(SIGTERM);
            errno = EPIPE;
            return -1;
        };
        int writes = 0;
        std::FILE* out = fopencookie(&writes, "w", io);
        const char* argv[] = {"tarnwick", "127.0.0.1", "public"};
        _exit(runTarnwick(3, argv, out, {.port = agent.port()}));
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 128 + SIGTERM);
    EXPECT_EQ(agent.requests(), 1);
}

TEST(CommandLine, StandardOutputClosed) {
    // The socket must not take descriptor 1 and receive the table's text.
    const auto result = runBinary("/", TARNWICK_BINARY, {"0.0.0.0", "public"}, true);
    EXPECT_EQ(result.end, 5);
    EXPECT_EQ(result.output, "ERROR: The output could not be written: Bad file descriptor\n");
}

TEST(CommandLine, RequestToStopWritesWhatWasReceived) {
    const struct {
        int signal;
        int second;     // another request while the rows still go out, or 0
        int rows;       // the device's rows, all at once; then it says nothing more
        bool readerGoes = false;  // the reader closes the pipe unread after the request
        bool early = false;       // the request comes before the first send
    } cases[] = {
        // While the walk waits on a device that has gone silent.
        {SIGINT, 0, 50},
        {SIGTERM, 0, 50},
        {SIGHUP, 0, 50},
        // Rows enough to fill a pipe that nobody reads yet: the first request
        // names the status, whatever comes while the walk waits to write.
        {SIGINT, SIGTERM, 400},
        // The request names the status also when the reader then goes away.
        {SIGTERM, 0, 400, true},
        // The same signal twice ends the program by the signal itself.
        {SIGINT, SIGINT, 400},
        // Before the first send: nothing is sent.
        {SIGTERM, 0, 50, false, true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.signal);
        const int total = row.rows;
        ScriptedAgent agent([total](SnmpMessage*, int number) -> std::vector<ScriptedReply> {
            if (number > total) return {};
            const std::string oid =
                "1.3.6.1.2.1.4.22.1.2.1.10.0." + std::to_string(number / 250) + "." + std::to_string(number % 250);
            return {{makeResponse(oid.c_str(), macValue("00 00 00 00 00 01"))}};
        });
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        fcntl(ends[1], F_SETPIPE_SZ, 4096);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ends[0]);
            net::watchInterruptions();
            // No other stop signal may land while a stop handler runs.
            struct sigaction action {};
            sigaction(SIGINT, nullptr, &action);
            if (sigismember(&action.sa_mask, SIGTERM) != 1 || sigismember(&action.sa_mask, SIGHUP) != 1) _exit(99);
            if (row.early) raise(row.signal);
            std::FILE* out = fdopen(ends[1], "w");
            const char* argv[] = {"tarnwick", "127.0.0.1", "public"};
            const int code = runTarnwick(3, argv, out, {.port = agent.port()});
            std::fclose(out);
            _exit(code);
        }
        close(ends[1]);
        // Until the walk waits: for the device, or to write. A child that is
        // slow to start (under an emulator, on a busy machine) has sent nothing yet.
        for (int i = 0, seen = -1; i < 500 && (seen != agent.requests() || (!row.early && seen == 0)); ++i) {
            seen = agent.requests();
            usleep(20000);
        }
        const auto sent = std::chrono::steady_clock::now();
        if (!row.early) kill(child, row.signal);
        if (row.second != 0) {
            usleep(50000);
            kill(child, row.second);
            usleep(50000);
        }
        std::string text;
        char chunk[4096];
        if (row.readerGoes) usleep(50000);
        for (ssize_t n; !row.readerGoes && (n = read(ends[0], chunk, sizeof chunk)) > 0;) {
            text.append(chunk, static_cast<std::size_t>(n));
        }
        close(ends[0]);
        int status = 0;
        waitpid(child, &status, 0);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
        int rows = 0;
        for (std::size_t at = 0; (at = text.find("\t00-00-00-00-00-01\t1\n", at)) != std::string::npos; ++at) ++rows;
        // A shell's status: 128 + n for a program ended by signal n too.
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), 128 + row.signal);
        EXPECT_EQ(WIFSIGNALED(status), row.second == row.signal);
        // Every row received is written, and no line says the device was silent;
        // a stop that came first sent nothing.
        EXPECT_TRUE(row.readerGoes || rows >= agent.requests() - 1) << rows << " of " << agent.requests();
        EXPECT_EQ(text.find("ERROR"), std::string::npos);
        EXPECT_EQ(agent.requests() == 0, row.early);
        // At once: a wait that went on would last the attempt's five seconds.
        EXPECT_LT(seconds, 2.5);
    }
}

TEST(CommandLine, RequestToStopOnceTheWalkEnded) {
    // It names the status only when what was printed could not be written.
    const struct {
        const char* path;
        int status;
    } rows[] = {{"/dev/null", 0}, {"/dev/full", 128 + SIGINT}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            net::watchInterruptions();
            raise(SIGINT);
            Output out(std::fopen(row.path, "w"));
            out.put("10.0.0.1\t00-00-00-00-00-01\t1\n");
            _exit(exitStatus(settle(WalkEnd::EndOfColumn, out, nullptr)));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
    }
}
#endif

TEST(CommandLine, FiveSecondsPerAttemptByDefault) {
    // The first send goes unanswered; the walk sends again when its own wait
    // of five seconds is over.
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    std::mutex arrivalsMutex;
    ScriptedAgent agent([&](SnmpMessage*, int number) -> std::vector<ScriptedReply> {
        std::lock_guard<std::mutex> lock(arrivalsMutex);
        arrivals.push_back(std::chrono::steady_clock::now());
        if (number == 1) return {};
        return {{makeResponse("1.3.6.1.2.1.5", new SnmpInteger(1))}};
    });
    EXPECT_EQ(runInProcess({"tarnwick", "127.0.0.1", "public"}, {.port = agent.port()}).end, 0);
    std::lock_guard<std::mutex> lock(arrivalsMutex);
    ASSERT_EQ(arrivals.size(), 2u);
    const double gap = std::chrono::duration<double>(arrivals[1] - arrivals[0]).count();
    EXPECT_GE(gap, 4.9);
    EXPECT_LT(gap, 6.5);
}

}  // namespace
